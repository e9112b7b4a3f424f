#include "CpuPasses.h"

#include <algorithm>
#include <cstring>

namespace sr {

namespace {

// Values per vector of the widest unit; every block size divides it, so lane j of a row always
// holds channel j % block of the row's group.
constexpr int lanes = 16;

// Runs the operations over one row; the first reads `in`, the rest work on `out` while the row
// is still in the core's cache. `slopes` holds `lanes` values per PRelu, in order.
[[gnu::target_clones("avx512f", "avx2", "default")]] void
applyToRow(const float* in, float* out, std::int64_t length, const ElementOp* ops, size_t count,
           const float* slopes, std::int64_t offset)
{
    if (count == 0 && in != out)
        std::memcpy(out, in, size_t(length) * sizeof(float));
    for (size_t k = 0; k < count; ++k, in = out) {
        const ElementOp& op = ops[k];
        const float* other = op.operand ? op.operand + offset : nullptr;
        const float alpha = op.alpha, beta = op.beta;
        switch (op.kind) {
        case OpKind::prelu: {
            std::int64_t i = 0;
            for (; i + lanes <= length; i += lanes)
#pragma omp simd
                for (int j = 0; j < lanes; ++j) {
                    const float v = in[i + j];
                    out[i + j] = v < 0 ? v * slopes[j] : v;
                }
            for (; i < length; ++i)
                out[i] = in[i] < 0 ? in[i] * slopes[i % lanes] : in[i];
            slopes += lanes;
            break;
        }
        case OpKind::relu:
#pragma omp simd
            for (std::int64_t i = 0; i < length; ++i)
                out[i] = in[i] < 0 ? 0.0f : in[i];
            break;
        case OpKind::linear:
#pragma omp simd
            for (std::int64_t i = 0; i < length; ++i)
                out[i] = alpha * in[i] + beta;
            break;
        case OpKind::add:
#pragma omp simd
            for (std::int64_t i = 0; i < length; ++i)
                out[i] = in[i] + other[i];
            break;
        case OpKind::sub:
#pragma omp simd
            for (std::int64_t i = 0; i < length; ++i)
                out[i] = in[i] - other[i];
            break;
        default: // mul
#pragma omp simd
            for (std::int64_t i = 0; i < length; ++i)
                out[i] = in[i] * other[i];
            break;
        }
    }
}

} // namespace

void applyElementwise(const float* in, float* out, const Shape& shape, int block,
                      const std::vector<ElementOp>& ops)
{
    const std::int64_t channels = shape[1], groups = (channels + block - 1) / block;
    const std::int64_t rows = shape[0] * groups * shape[2], length = shape[3] * block;
    // Each group's slopes spread over the lanes once, not per row.
    const auto prelus = std::count_if(ops.begin(), ops.end(),
                                      [](const ElementOp& op) { return op.kind == OpKind::prelu; });
    std::vector<float> laneSlopes(size_t(groups * prelus * lanes), 0.0f);
    for (std::int64_t group = 0; group < groups; ++group) {
        float* slope = laneSlopes.data() + group * prelus * lanes;
        for (const ElementOp& op : ops) {
            if (op.kind != OpKind::prelu)
                continue;
            for (int j = 0; j < lanes; ++j)
                if (const std::int64_t c = group * block + j % block; c < channels)
                    slope[j] = op.slopes[c];
            slope += lanes;
        }
    }
    const std::int64_t lastValid = channels - (groups - 1) * block; // channels in the last group
#pragma omp parallel for schedule(static)
    for (std::int64_t row = 0; row < rows; ++row) {
        const std::int64_t group = row / shape[2] % groups;
        float* to = out + row * length;
        applyToRow(in + row * length, to, length, ops.data(), ops.size(),
                   laneSlopes.data() + group * prelus * lanes, row * length);
        if (group == groups - 1 && lastValid < block)
            for (std::int64_t x = 0; x < length; x += block)
                std::fill(to + x + lastValid, to + x + block, 0.0f);
    }
}

void resizeNearest(const float* in, float* out, const Shape& inShape, int factor)
{
    const std::int64_t w = inShape[3], outW = w * factor;
    const std::int64_t planes = inShape[0] * inShape[1], outH = inShape[2] * factor;
#pragma omp parallel for collapse(2) schedule(static)
    for (std::int64_t plane = 0; plane < planes; ++plane)
        for (std::int64_t y = 0; y < outH; ++y) {
            const float* from = in + (plane * inShape[2] + y / factor) * w;
            float* to = out + (plane * outH + y) * outW;
            for (std::int64_t x = 0; x < outW; ++x)
                to[x] = from[x / factor];
        }
}

void depthToSpace(const float* in, float* out, const Shape& inShape, int b, bool dcr)
{
    const std::int64_t n = inShape[0], h = inShape[2], w = inShape[3];
    const std::int64_t c = inShape[1] / (b * b);
#pragma omp parallel for collapse(3) schedule(static)
    for (std::int64_t batch = 0; batch < n; ++batch)
        for (std::int64_t k = 0; k < c; ++k)
            for (std::int64_t y = 0; y < h; ++y)
                for (int i = 0; i < b; ++i) {
                    float* to = out + ((batch * c + k) * h * b + y * b + i) * w * b;
                    for (int j = 0; j < b; ++j) {
                        const std::int64_t channel =
                            dcr ? (i * b + j) * c + k : k * b * b + i * b + j;
                        const float* from = in + ((batch * inShape[1] + channel) * h + y) * w;
                        for (std::int64_t x = 0; x < w; ++x)
                            to[x * b + j] = from[x];
                    }
                }
}

} // namespace sr
