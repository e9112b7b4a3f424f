// Shared by every kernel: one buffer of activations, one of constants, one of parameters.
// Values are N = 1 tensors, plain (c, y, x) or blocked (c / 4, y, x, c % 4); offsets count floats.

layout(set = 0, binding = 0) buffer Activations { vec4 act[]; };
layout(set = 0, binding = 1) readonly buffer Constants { vec4 cst[]; };
layout(set = 0, binding = 2) readonly buffer Parameters { int prm[]; };
layout(push_constant) uniform Push { int base; } push;

int P(int k) { return prm[push.base + k]; }
float PF(int k) { return intBitsToFloat(prm[push.base + k]); }

float actAt(uint i) { return act[i >> 2][i & 3u]; }
void actSet(uint i, float v) { act[i >> 2][i & 3u] = v; }
float cstAt(uint i) { return cst[i >> 2][i & 3u]; }

const int PLAIN = 0;
const int BLOCKED = 1;

uint elementIndex(int arrangement, int channels, int height, int width, int c, int y, int x)
{
    if (arrangement == PLAIN)
        return uint((c * height + y) * width + x);
    return uint((((c >> 2) * height + y) * width + x) * 4 + (c & 3));
}

// Post-operations, five parameters each: kind, alpha, beta, operand offset, slope offset.
const int RELU = 0;
const int LINEAR = 1;
const int PRELU = 2;
const int ADD = 3;
const int SUB = 4;
const int MUL = 5;

float unary(int kind, float v, float alpha, float beta, float slope)
{
    if (kind == RELU)
        return max(v, 0.0);
    if (kind == LINEAR)
        return alpha * v + beta;
    return v < 0.0 ? v * slope : v;
}

float binary(int kind, float a, float b)
{
    return kind == ADD ? a + b : kind == SUB ? a - b : a * b;
}

// One element `index` of channel `c` of the step's blocked or plain result.
float postScalar(float v, int first, int count, uint index, int c)
{
    for (int k = 0; k < count; ++k) {
        const int at = first + 5 * k;
        const int kind = P(at);
        if (kind >= ADD)
            v = binary(kind, v, actAt(uint(P(at + 3)) + index));
        else
            v = unary(kind, v, PF(at + 1), PF(at + 2),
                      kind == PRELU ? cstAt(uint(P(at + 4) + c)) : 0.0);
    }
    return v;
}

// Four channels c4 * 4 … c4 * 4 + 3 of a blocked result at vec4 `index4`.
vec4 postVector(vec4 v, int first, int count, uint index4, int c4)
{
    for (int k = 0; k < count; ++k) {
        const int at = first + 5 * k;
        const int kind = P(at);
        if (kind >= ADD) {
            const vec4 o = act[(uint(P(at + 3)) >> 2) + index4];
            v = kind == ADD ? v + o : kind == SUB ? v - o : v * o;
        } else if (kind == RELU) {
            v = max(v, vec4(0.0));
        } else if (kind == LINEAR) {
            v = PF(at + 1) * v + PF(at + 2);
        } else {
            const vec4 slope = cst[(uint(P(at + 4)) >> 2) + uint(c4)];
            v = mix(v * slope, v, greaterThanEqual(v, vec4(0.0)));
        }
    }
    return v;
}

// Lanes past the last channel stay zero, so that padding never carries values on.
vec4 maskPadding(vec4 v, int c4, int channels)
{
    const ivec4 lane = ivec4(0, 1, 2, 3) + c4 * 4;
    return mix(vec4(0.0), v, lessThan(lane, ivec4(channels)));
}

// Work spread over a one-dimensional grid of any size.
uint gridSize() { return gl_NumWorkGroups.x * gl_WorkGroupSize.x; }
