#version 450
#extension GL_GOOGLE_include_directive : require
#extension GL_EXT_control_flow_attributes : require
// 3x3 convolution, stride 1, padding 1, on blocked values. A work group makes a tile of 32 x 8
// pixels and 32 output channels; each invocation 4 pixels of a row and 8 output channels. Input
// and weights for two groups of four input channels at a time are shared through local memory.
// The inner loops are unrolled and written as fma() chains so that compilers issue nothing but
// fused multiply-adds between the loads of local memory.
layout(local_size_x = 256, local_size_y = 1, local_size_z = 1) in;
#include "common.glsl"

const int TW = 32;
const int TH = 8;
const int GROUPS = 8; // output channel groups of four per work group
const int CHUNK = 2;  // input channel groups per pass
const int SW = TW + 2;
const int SH = TH + 2;

// Eight neighbouring invocations read a row at once, four pixels apart. Unpadded, their vec4s
// would fall on only two of the eight 16-byte bank groups of 32-bank memory (a four-way
// conflict); one spare vec4 after every four pixels spreads them over all eight.
int slot(int x) { return x + (x >> 2); }
const int ROW = SW + (SW - 1) / 4; // slot(SW - 1) + 1

shared vec4 tileIn[CHUNK * SH * ROW];
shared vec4 tileW[GROUPS * CHUNK * 36];

// Four vectors of weights (one per input lane) times one pixel, added to acc.
vec4 multiplyAdd(vec4 acc, vec4 v, int w)
{
    acc = fma(v.xxxx, tileW[w], acc);
    acc = fma(v.yyyy, tileW[w + 1], acc);
    acc = fma(v.zzzz, tileW[w + 2], acc);
    return fma(v.wwww, tileW[w + 3], acc);
}

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
    [[unroll]] for (int g = 0; g < 2; ++g)
        [[unroll]] for (int p = 0; p < 4; ++p)
            acc[g][p] = vec4(0.0);

    for (int first = 0; first < inGroups; first += CHUNK) {
        barrier();
        for (int i = t; i < CHUNK * SH * SW; i += 256) {
            const int c = i / (SH * SW), r = i % (SH * SW);
            const int gy = y0 + r / SW - 1, gx = x0 + r % SW - 1;
            vec4 v = vec4(0.0);
            if (first + c < inGroups && gy >= 0 && gy < height && gx >= 0 && gx < width)
                v = act[inOffset + ((first + c) * height + gy) * width + gx];
            tileIn[(c * SH + r / SW) * ROW + slot(r % SW)] = v;
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
        [[unroll]] for (int c = 0; c < CHUNK; ++c) {
            [[unroll]] for (int ky = 0; ky < 3; ++ky) {
                vec4 row[6];
                const int from = (c * SH + ly + ky) * ROW + slot(lx);
                [[unroll]] for (int j = 0; j < 6; ++j)
                    row[j] = tileIn[from + slot(j)]; // slot(lx + j) as lx is a multiple of 4
                [[unroll]] for (int kx = 0; kx < 3; ++kx) {
                    [[unroll]] for (int g = 0; g < 2; ++g) {
                        const int w = ((part * 2 + g) * CHUNK + c) * 36 + (ky * 3 + kx) * 4;
                        [[unroll]] for (int p = 0; p < 4; ++p)
                            acc[g][p] = multiplyAdd(acc[g][p], row[p + kx], w);
                    }
                }
            }
        }
    }

    const int y = y0 + ly;
    [[unroll]] for (int g = 0; g < 2; ++g) {
        const int c4 = g0 + part * 2 + g;
        if (c4 >= outGroups || y >= height)
            continue;
        const vec4 b = cst[bias + c4];
        [[unroll]] for (int p = 0; p < 4; ++p) {
            const int x = x0 + lx + p;
            if (x >= width)
                continue;
            const uint index4 = uint((c4 * height + y) * width + x);
            const vec4 v = postVector(acc[g][p] + b, 20, P(19), index4, c4);
            act[outOffset + index4] = maskPadding(v, c4, outC);
        }
    }
}
