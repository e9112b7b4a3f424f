#version 450
#extension GL_GOOGLE_include_directive : require
// Nearest enlargement of plain values by a whole factor.
layout(local_size_x = 128) in;
#include "common.glsl"

void main()
{
    const int inOffset = P(0), channels = P(1), height = P(2), width = P(3);
    const int outOffset = P(4), factor = P(5);
    const int outW = width * factor, outPlane = height * factor * outW;
    for (uint i = gl_GlobalInvocationID.x; i < uint(channels * outPlane); i += gridSize()) {
        const int c = int(i) / outPlane, y = (int(i) % outPlane) / outW, x = int(i) % outW;
        actSet(uint(outOffset) + i,
               actAt(uint(inOffset + (c * height + y / factor) * width + x / factor)));
    }
}
