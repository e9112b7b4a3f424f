#version 450
#extension GL_GOOGLE_include_directive : require
// Any convolution: one invocation per output pixel and group of four output channels.
layout(local_size_x = 8, local_size_y = 8, local_size_z = 1) in;
#include "common.glsl"

void main()
{
    const int inOffset = P(0), inLayout = P(1), inC = P(2), inH = P(3), inW = P(4);
    const int outOffset = P(5), outC = P(6), outH = P(7), outW = P(8);
    const int kh = P(9), kw = P(10), sy = P(11), sx = P(12), dy = P(13), dx = P(14);
    const int padTop = P(15), padLeft = P(16), weights = P(17) >> 2, bias = P(18) >> 2;
    const int x = int(gl_GlobalInvocationID.x), y = int(gl_GlobalInvocationID.y);
    const int c4 = int(gl_GlobalInvocationID.z);
    if (x >= outW || y >= outH || c4 * 4 >= outC)
        return;
    const int inGroups = (inC + 3) >> 2;
    vec4 sum = cst[bias + c4];
    for (int c = 0; c < inC; ++c) {
        const int row = ((c4 * inGroups + (c >> 2)) * kh * kw) * 4 + (c & 3);
        for (int ky = 0; ky < kh; ++ky) {
            const int iy = y * sy - padTop + ky * dy;
            if (iy < 0 || iy >= inH)
                continue;
            for (int kx = 0; kx < kw; ++kx) {
                const int ix = x * sx - padLeft + kx * dx;
                if (ix < 0 || ix >= inW)
                    continue;
                const float v = actAt(uint(inOffset) +
                                      elementIndex(inLayout, inC, inH, inW, c, iy, ix));
                sum += v * cst[weights + row + (ky * kw + kx) * 4];
            }
        }
    }
    const uint index4 = uint((c4 * outH + y) * outW + x);
    sum = postVector(sum, 20, P(19), index4, c4);
    act[(uint(outOffset) >> 2) + index4] = maskPadding(sum, c4, outC);
}
