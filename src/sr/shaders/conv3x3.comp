#version 450
#extension GL_GOOGLE_include_directive : require
// 3x3 convolution, stride 1, padding 1, on blocked values. A work group makes a tile of 32 x 8
// pixels and 32 output channels; each invocation 4 pixels of a row and 8 output channels. Input
// and weights for two groups of four input channels at a time are shared through local memory.
layout(local_size_x = 256, local_size_y = 1, local_size_z = 1) in;
#include "common.glsl"

const int TW = 32;
const int TH = 8;
const int GROUPS = 8; // output channel groups of four per work group
const int CHUNK = 2;  // input channel groups per pass
const int SW = TW + 2;
const int SH = TH + 2;

shared vec4 tileIn[CHUNK * SH * SW];
shared vec4 tileW[GROUPS * CHUNK * 36];

void main()
{
    const int inOffset = P(0) >> 2, inC = P(2), height = P(3), width = P(4);
    const int outOffset = P(5) >> 2, outC = P(6);
    const int weights = P(17) >> 2, bias = P(18) >> 2;
    const int inGroups = (inC + 3) >> 2, outGroups = (outC + 3) >> 2;

    const int t = int(gl_LocalInvocationID.x);
    const int lx = (t & 7) * 4, ly = (t >> 3) & 7, part = t >> 6;
    const int x0 = int(gl_WorkGroupID.x) * TW, y0 = int(gl_WorkGroupID.y) * TH;
    const int g0 = int(gl_WorkGroupID.z) * GROUPS;

    vec4 acc[2][4];
    for (int g = 0; g < 2; ++g)
        for (int p = 0; p < 4; ++p)
            acc[g][p] = vec4(0.0);

    for (int first = 0; first < inGroups; first += CHUNK) {
        barrier();
        for (int i = t; i < CHUNK * SH * SW; i += 256) {
            const int c = i / (SH * SW), r = i % (SH * SW);
            const int gy = y0 + r / SW - 1, gx = x0 + r % SW - 1;
            vec4 v = vec4(0.0);
            if (first + c < inGroups && gy >= 0 && gy < height && gx >= 0 && gx < width)
                v = act[inOffset + ((first + c) * height + gy) * width + gx];
            tileIn[i] = v;
        }
        for (int i = t; i < GROUPS * CHUNK * 36; i += 256) {
            const int g = i / (CHUNK * 36), r = i % (CHUNK * 36);
            const int c = r / 36;
            vec4 w = vec4(0.0);
            if (first + c < inGroups)
                w = cst[weights + ((g0 + g) * inGroups + first + c) * 36 + r % 36];
            tileW[i] = w;
        }
        barrier();
        for (int c = 0; c < CHUNK; ++c) {
            for (int ky = 0; ky < 3; ++ky) {
                vec4 row[6];
                const int from = (c * SH + ly + ky) * SW + lx;
                for (int j = 0; j < 6; ++j)
                    row[j] = tileIn[from + j];
                for (int kx = 0; kx < 3; ++kx) {
                    for (int g = 0; g < 2; ++g) {
                        const int w = ((part * 2 + g) * CHUNK + c) * 36 + (ky * 3 + kx) * 4;
                        const vec4 w0 = tileW[w], w1 = tileW[w + 1];
                        const vec4 w2 = tileW[w + 2], w3 = tileW[w + 3];
                        for (int p = 0; p < 4; ++p) {
                            const vec4 v = row[p + kx];
                            acc[g][p] += v.x * w0 + v.y * w1 + v.z * w2 + v.w * w3;
                        }
                    }
                }
            }
        }
    }

    const int y = y0 + ly;
    for (int g = 0; g < 2; ++g) {
        const int c4 = g0 + part * 2 + g;
        if (c4 >= outGroups || y >= height)
            continue;
        const vec4 b = cst[bias + c4];
        for (int p = 0; p < 4; ++p) {
            const int x = x0 + lx + p;
            if (x >= width)
                continue;
            const uint index4 = uint((c4 * height + y) * width + x);
            const vec4 v = postVector(acc[g][p] + b, 20, P(19), index4, c4);
            act[outOffset + index4] = maskPadding(v, c4, outC);
        }
    }
}
