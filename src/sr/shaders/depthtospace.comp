#version 450
#extension GL_GOOGLE_include_directive : require
// Moves blocks of channels into space on plain values: output (c, y*b + i, x*b + j) comes from
// channel (i*b + j)*C + c in DCR order or c*b*b + i*b + j in CRD order.
layout(local_size_x = 128) in;
#include "common.glsl"

void main()
{
    const int inOffset = P(0), inChannels = P(1), height = P(2), width = P(3);
    const int outOffset = P(4), b = P(5), dcr = P(6);
    const int channels = inChannels / (b * b), outW = width * b, outPlane = height * b * outW;
    for (uint o = gl_GlobalInvocationID.x; o < uint(channels * outPlane); o += gridSize()) {
        const int c = int(o) / outPlane, oy = (int(o) % outPlane) / outW, ox = int(o) % outW;
        const int i = oy % b, j = ox % b;
        const int from = dcr != 0 ? (i * b + j) * channels + c : c * b * b + i * b + j;
        actSet(uint(outOffset) + o,
               actAt(uint(inOffset + (from * height + oy / b) * width + ox / b)));
    }
}
