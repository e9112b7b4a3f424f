#version 450
// A region of the answer's first three planes as RGBA bytes for the host, one word a pixel,
// alpha 255, by the host's own rule: x = v * 255 + 0.5 rounded twice (never fused), truncated;
// below 0 gives 0, NaN and x >= 255 give 255. Infinities and NaN are told apart by their bits, as
// a device need not keep them through arithmetic.
layout(local_size_x = 128, local_size_y = 1, local_size_z = 1) in;

// The activations seen as words: the answer's floats are read by their bits, the bytes written
// past the values.
layout(set = 0, binding = 0) buffer Words { uint words[]; };
layout(push_constant) uniform Push {
    int base; // unused: the other kernels' parameter block
    int source; // the answer's first plane, in words
    int plane;  // words per plane
    int width;  // of a plane
    int x;      // the region
    int y;
    int columns;
    int count; // pixels in the region
    int target; // in words
} push;

uint byteOf(uint bits)
{
    if ((bits & 0x7f800000u) == 0x7f800000u) // an infinity or NaN
        return bits == 0xff800000u ? 0u : 255u;
    const float v = uintBitsToFloat(bits);
    if (v < 0.0)
        return 0u;
    if (v >= 1.0)
        return 255u;
    precise float x = v * 255.0 + 0.5;
    return x < 255.0 ? uint(x) : 255u;
}

void main()
{
    const uint step = gl_NumWorkGroups.x * gl_WorkGroupSize.x;
    for (uint i = gl_GlobalInvocationID.x; i < uint(push.count); i += step) {
        const uint row = i / uint(push.columns), column = i % uint(push.columns);
        const uint at = uint(push.source) + (uint(push.y) + row) * uint(push.width) +
                        uint(push.x) + column;
        const uint plane = uint(push.plane);
        words[uint(push.target) + i] = byteOf(words[at]) | byteOf(words[at + plane]) << 8 |
                                       byteOf(words[at + 2u * plane]) << 16 | 0xff000000u;
    }
}
