#version 450
#extension GL_GOOGLE_include_directive : require
// Element-wise steps: Relu, scaling, PRelu, or the sum, difference or product of two values of
// one shape and layout, each followed by its post-operations. May run in place.
layout(local_size_x = 128) in;
#include "common.glsl"

void main()
{
    const int kind = P(0), in0 = P(3), in1 = P(4), slopes = P(5), arrangement = P(6);
    const int channels = P(7), plane = P(8) * P(9), outOffset = P(10), count = P(11);
    for (uint i = gl_GlobalInvocationID.x; i < uint(count); i += gridSize()) {
        const int c = arrangement == PLAIN ? int(i) / plane
                                       : (int(i) / (4 * plane)) * 4 + (int(i) & 3);
        float v = 0.0;
        if (c < channels) {
            const float a = actAt(uint(in0) + i);
            if (kind >= ADD)
                v = binary(kind, a, actAt(uint(in1) + i));
            else
                v = unary(kind, a, PF(1), PF(2), kind == PRELU ? cstAt(uint(slopes + c)) : 0.0);
            v = postScalar(v, 13, P(12), i, c);
        }
        actSet(uint(outOffset) + i, v);
    }
}
