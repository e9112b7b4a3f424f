#include "VulkanProgram.h"

#include <bit>
#include <climits>

namespace sr {

namespace {

// Must match the kernels' parameter blocks and common.glsl.
enum PostKind : std::int32_t { relu, linear, prelu, add, sub, mul };
constexpr int convPosts = 20;
constexpr int pointwisePosts = 13;
constexpr std::int64_t parameterAlignment = 64; // floats: 256 bytes

std::int32_t bits(float value)
{
    return std::bit_cast<std::int32_t>(value);
}

std::int64_t roundUp(std::int64_t value, std::int64_t step)
{
    return (value + step - 1) / step * step;
}

class Translator {
public:
    Translator(const Graph& graph, VulkanProgram& program)
        : m_plan(makePlan(graph, gpuBlock, {.fusePrelu = true})), m_program(program)
    {
    }
    void translate();

private:
    std::int32_t offset(int value) const;
    std::int32_t layout(int value) const;
    std::int32_t constants(const std::vector<float>& values);
    void posts(const Step& step);
    Dispatch& begin(Kernel kernel, std::array<std::uint32_t, 3> extent);
    void push(std::initializer_list<std::int32_t> values);
    void conv(const Step& step);
    void pointwise(const Step& step);
    void copy(int from, int to, std::int64_t firstChannel, std::int64_t written);
    void concat(const Step& step);
    void resize(const Step& step);
    void depthToSpace(const Step& step);

    Plan m_plan;
    VulkanProgram& m_program;
    std::vector<std::int64_t> m_slotOffsets;
};

std::int32_t Translator::offset(int value) const
{
    const PlanValue& v = m_plan.values[size_t(value)];
    const PlanValue& root = v.root >= 0 ? m_plan.values[size_t(v.root)] : v;
    return std::int32_t(m_slotOffsets[size_t(root.slot)] + v.channelOffset * v.shape[2] * v.shape[3]);
}

std::int32_t Translator::layout(int value) const
{
    return m_plan.values[size_t(value)].layout == Layout::blocked ? 1 : 0;
}

// Appends the values on a four-float boundary; returns their first index.
std::int32_t Translator::constants(const std::vector<float>& values)
{
    auto& c = m_program.constants;
    c.resize(size_t(roundUp(std::int64_t(c.size()), 4)), 0.0f);
    const auto first = std::int32_t(c.size());
    c.insert(c.end(), values.begin(), values.end());
    c.resize(size_t(roundUp(std::int64_t(c.size()), 4)), 0.0f);
    return first;
}

Dispatch& Translator::begin(Kernel kernel, std::array<std::uint32_t, 3> extent)
{
    auto& p = m_program.parameters;
    p.resize(size_t(roundUp(std::int64_t(p.size()), parameterAlignment)), 0);
    m_program.dispatches.push_back({kernel, int(p.size()), extent});
    return m_program.dispatches.back();
}

void Translator::push(std::initializer_list<std::int32_t> values)
{
    m_program.parameters.insert(m_program.parameters.end(), values);
}

void Translator::posts(const Step& step)
{
    push({std::int32_t(step.post.size())});
    for (const PostOp& post : step.post) {
        std::int32_t kind = post.kind == OpKind::relu     ? relu
                            : post.kind == OpKind::linear ? linear
                            : post.kind == OpKind::prelu  ? prelu
                            : post.kind == OpKind::add    ? add
                            : post.kind == OpKind::sub    ? sub
                                                          : mul;
        push({kind, bits(post.alpha), bits(post.beta), post.operand >= 0 ? offset(post.operand) : 0,
              post.slopes ? constants(post.slopes->weights.values) : 0});
    }
}

// Weights as vectors of four output channels: [group][input group][ky][kx][input lane], groups
// padded to whole work groups of the 3x3 kernel; bias padded to whole groups of four.
void Translator::conv(const Step& step)
{
    const Operation& op = *step.op;
    const auto& w = op.weights.dims;
    const std::int64_t out = w[0], in = w[1], kh = w[2], kw = w[3];
    const std::int64_t inGroups = (in + 3) / 4, outGroups = (out + 3) / 4;
    const std::int64_t paddedGroups = roundUp(outGroups, conv3x3Groups);
    std::vector<float> packed(size_t(paddedGroups * inGroups * kh * kw * 16), 0.0f);
    for (std::int64_t o = 0; o < out; ++o)
        for (std::int64_t i = 0; i < in; ++i)
            for (std::int64_t k = 0; k < kh * kw; ++k)
                packed[size_t((((o / 4 * inGroups + i / 4) * kh * kw + k) * 4 + i % 4) * 4 +
                              o % 4)] = op.weights.values[size_t((o * in + i) * kh * kw + k)];
    std::vector<float> bias(size_t(outGroups * 4), 0.0f);
    std::copy(op.bias.values.begin(), op.bias.values.end(), bias.begin());

    const Shape& src = m_plan.values[size_t(step.inputs[0])].shape;
    const Shape& dst = m_plan.values[size_t(step.output)].shape;
    const std::int32_t weights = constants(packed), biases = constants(bias);
    begin(Kernel::conv, {std::uint32_t(dst[3]), std::uint32_t(dst[2]), std::uint32_t(outGroups)})
        .multiplyAdds = double(out * in * kh * kw) * double(dst[2] * dst[3]);
    push({offset(step.inputs[0]), layout(step.inputs[0]), std::int32_t(src[1]),
          std::int32_t(src[2]), std::int32_t(src[3]), offset(step.output), std::int32_t(dst[1]),
          std::int32_t(dst[2]), std::int32_t(dst[3]), std::int32_t(kh), std::int32_t(kw),
          std::int32_t(op.strides[0]), std::int32_t(op.strides[1]),
          std::int32_t(op.dilations[0]), std::int32_t(op.dilations[1]),
          std::int32_t(op.pads[0]), std::int32_t(op.pads[1]), weights, biases});
    posts(step);
    if (fitsConv3x3(m_program, m_program.dispatches.back()))
        m_program.dispatches.back().kernel = Kernel::conv3x3;
}

void Translator::pointwise(const Step& step)
{
    const Operation& op = *step.op;
    const PlanValue& out = m_plan.values[size_t(step.output)];
    const std::int64_t count = valueBytes(out.shape, out.layout, gpuBlock) / 4;
    const std::int32_t kind = step.kind == StepKind::prelu ? prelu
                              : op.kind == OpKind::relu    ? relu
                              : op.kind == OpKind::linear  ? linear
                              : op.kind == OpKind::add     ? add
                              : op.kind == OpKind::sub     ? sub
                                                           : mul;
    const std::int32_t slopeOffset = step.kind == StepKind::prelu ? constants(op.weights.values) : 0;
    begin(Kernel::pointwise, {std::uint32_t(count), 1, 1});
    push({kind, bits(op.alpha), bits(op.beta), offset(step.inputs[0]),
          step.inputs.size() > 1 ? offset(step.inputs[1]) : 0, slopeOffset, layout(step.output),
          std::int32_t(out.shape[1]), std::int32_t(out.shape[2]), std::int32_t(out.shape[3]),
          offset(step.output), std::int32_t(count)});
    posts(step);
}

void Translator::copy(int from, int to, std::int64_t firstChannel, std::int64_t written)
{
    const Shape& in = m_plan.values[size_t(from)].shape;
    const Shape& out = m_plan.values[size_t(to)].shape;
    begin(Kernel::copy, {std::uint32_t(written * in[2] * in[3]), 1, 1});
    push({offset(from), layout(from), std::int32_t(in[1]), std::int32_t(in[2]),
          std::int32_t(in[3]), offset(to), layout(to), std::int32_t(out[1]),
          std::int32_t(firstChannel), std::int32_t(written)});
}

// Each part into its channels; the last one also zeroes the padding of the last block.
void Translator::concat(const Step& step)
{
    const PlanValue& whole = m_plan.values[size_t(step.output)];
    const std::int64_t padded = whole.layout == Layout::blocked ? roundUp(whole.shape[1], 4)
                                                                : whole.shape[1];
    std::int64_t first = 0;
    for (size_t i = 0; i < step.inputs.size(); ++i) {
        const std::int64_t channels = m_plan.values[size_t(step.inputs[i])].shape[1];
        const bool last = i + 1 == step.inputs.size();
        copy(step.inputs[i], step.output, first, last ? padded - first : channels);
        first += channels;
    }
}

void Translator::resize(const Step& step)
{
    const Shape& in = m_plan.values[size_t(step.inputs[0])].shape;
    const std::int64_t f = step.op->factor;
    begin(Kernel::resize, {std::uint32_t(in[1] * in[2] * f * in[3] * f), 1, 1});
    push({offset(step.inputs[0]), std::int32_t(in[1]), std::int32_t(in[2]), std::int32_t(in[3]),
          offset(step.output), std::int32_t(f)});
}

void Translator::depthToSpace(const Step& step)
{
    const Shape& in = m_plan.values[size_t(step.inputs[0])].shape;
    begin(Kernel::depthToSpace, {std::uint32_t(in[1] * in[2] * in[3]), 1, 1});
    push({offset(step.inputs[0]), std::int32_t(in[1]), std::int32_t(in[2]), std::int32_t(in[3]),
          offset(step.output), std::int32_t(step.op->factor), step.op->dcr ? 1 : 0});
}

void Translator::translate()
{
    for (const PlanValue& v : m_plan.values)
        if (v.materialized && v.shape[0] != 1)
            throw GraphError("the GPU runs one image at a time");
    // Slots on 256-byte boundaries; the kernels index with 32-bit integers.
    std::int64_t floats = 0;
    for (const std::int64_t bytes : m_plan.slotBytes) {
        m_slotOffsets.push_back(floats);
        floats += roundUp(bytes / 4, 64);
    }
    if (floats >= INT_MAX / 4)
        throw GraphError("values too large for the GPU's kernels");
    m_program.activationBytes = std::uint64_t(floats) * 4;

    for (const Step& step : m_plan.steps) {
        switch (step.kind) {
        case StepKind::none:
            break;
        case StepKind::conv:
            conv(step);
            break;
        case StepKind::prelu:
        case StepKind::eltwise:
        case StepKind::binary:
            pointwise(step);
            break;
        case StepKind::concat:
            concat(step);
            break;
        case StepKind::reorder: {
            const PlanValue& out = m_plan.values[size_t(step.output)];
            copy(step.inputs[0], step.output, 0,
                 out.layout == Layout::blocked ? roundUp(out.shape[1], 4) : out.shape[1]);
            break;
        }
        case StepKind::resize:
            resize(step);
            break;
        case StepKind::depthToSpace:
            depthToSpace(step);
            break;
        }
    }
    m_program.inputOffset = std::uint64_t(offset(m_plan.input));
    m_program.outputOffset = std::uint64_t(offset(m_plan.output));
    m_program.inputShape = m_plan.values[size_t(m_plan.input)].shape;
    m_program.outputShape = m_plan.values[size_t(m_plan.output)].shape;
    if (m_program.constants.empty())
        m_program.constants.assign(4, 0.0f);
    m_program.parameters.resize(size_t(roundUp(std::int64_t(m_program.parameters.size()) + 1, 4)));
}

} // namespace

VulkanProgram translate(const Graph& graph)
{
    VulkanProgram program;
    Translator(graph, program).translate();
    program.multiplyAdds = graph.multiplyAdds();
    return program;
}

bool fitsConv3x3(const VulkanProgram& program, const Dispatch& dispatch)
{
    if (dispatch.kernel != Kernel::conv && dispatch.kernel != Kernel::conv3x3)
        return false;
    const std::int32_t* p = program.parameters.data() + dispatch.base;
    // Blocked input of the output's size, 3x3, stride 1, dilation 1, padding 1 all round.
    return p[1] == 1 && p[3] == p[7] && p[4] == p[8] && p[9] == 3 && p[10] == 3 && p[11] == 1 &&
           p[12] == 1 && p[13] == 1 && p[14] == 1 && p[15] == 1 && p[16] == 1;
}

} // namespace sr
