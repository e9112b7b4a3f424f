#version 450
#extension GL_GOOGLE_include_directive : require
// Copies a value into channels of another, changing layout on the way: layout changes and the
// parts of a concatenation. Channels past the source's, up to `written`, become zero.
layout(local_size_x = 128) in;
#include "common.glsl"

void main()
{
    const int inOffset = P(0), inLayout = P(1), channels = P(2), height = P(3), width = P(4);
    const int outOffset = P(5), outLayout = P(6), outChannels = P(7), first = P(8);
    const int written = P(9);
    const int plane = height * width;
    for (uint i = gl_GlobalInvocationID.x; i < uint(written * plane); i += gridSize()) {
        const int c = int(i) / plane, y = (int(i) % plane) / width, x = int(i) % width;
        float v = 0.0;
        if (c < channels)
            v = actAt(uint(inOffset) + elementIndex(inLayout, channels, height, width, c, y, x));
        actSet(uint(outOffset) + elementIndex(outLayout, outChannels, height, width, first + c, y, x),
               v);
    }
}
