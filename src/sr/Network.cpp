#include "Network.h"

#include "Plan.h"

#include <oneapi/dnnl/dnnl.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <omp.h>
#include <oneapi/dnnl/dnnl_debug.h>
#include <unordered_map>

namespace {

// The library's OpenMP threads spin after every parallel region by default; on a machine that is
// busy with other work that makes a run several times slower and starves the rest of the process.
// The OpenMP runtime reads its settings once, in its own constructor, so the setting must be in
// the environment before any library is initialised: the executable's pre-initialisation array
// runs first. A value the user set is kept.
void passiveThreads(int, char**, char**)
{
    setenv("OMP_WAIT_POLICY", "passive", 0);
}
[[gnu::section(".preinit_array"),
  gnu::used]] void (*const preinitPassiveThreads)(int, char**, char**) = passiveThreads;

} // namespace

namespace sr {

namespace {

using dnnl::algorithm;
using dnnl::memory;
using Tag = memory::format_tag;
constexpr auto f32 = memory::data_type::f32;
constexpr auto inference = dnnl::prop_kind::forward_inference;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<std::byte, FreeDeleter>;

// Zeroed, cache-line aligned memory; zeroed so that padding channels never hold NaNs.
Buffer allocate(std::int64_t bytes)
{
    const size_t size = size_t((bytes + 63) / 64 * 64);
    void* p = std::aligned_alloc(64, size ? size : 64);
    if (!p)
        throw std::bad_alloc();
    std::memset(p, 0, size ? size : 64);
    return Buffer(static_cast<std::byte*>(p));
}

// Every core, or the count the user set in OMP_NUM_THREADS. Read before the first network
// changes this thread's setting.
int threadsForMachine()
{
    static const int threads = omp_get_max_threads();
    return threads;
}

int blockForProcessor()
{
    using Isa = dnnl::cpu_isa;
    switch (dnnl::get_effective_cpu_isa()) {
    case Isa::avx512_core:
    case Isa::avx512_core_vnni:
    case Isa::avx512_core_bf16:
    case Isa::avx512_core_amx:
    case Isa::avx512_mic:
    case Isa::avx512_mic_4ops:
        return 16;
    default:
        return 8;
    }
}

algorithm binaryAlgorithm(OpKind kind)
{
    return kind == OpKind::add   ? algorithm::binary_add
           : kind == OpKind::sub ? algorithm::binary_sub
                                 : algorithm::binary_mul;
}

// x where x >= 0, else slope * x, one slope per channel. Channels come in groups of `block`
// innermost (1 for the plain layout); padding channels beyond the last stay as they are.
// The library's own kernel for this is several times slower, and as a post-operation of a
// convolution it falls back to a reference kernel.
void prelu(const float* in, float* out, const Shape& shape, const float* slopes, int block)
{
    const std::int64_t groups = (shape[1] + block - 1) / block, rows = shape[0] * groups * shape[2];
    const std::int64_t rowLength = shape[3] * block;
#pragma omp parallel for schedule(static)
    for (std::int64_t row = 0; row < rows; ++row) {
        const std::int64_t group = row / shape[2] % groups;
        float slope[16] = {};
        for (int k = 0; k < block && group * block + k < shape[1]; ++k)
            slope[k] = slopes[group * block + k];
        const float* from = in + row * rowLength;
        float* to = out + row * rowLength;
        for (std::int64_t x = 0; x < rowLength; x += block)
            for (int k = 0; k < block; ++k) {
                const float v = from[x + k];
                to[x + k] = v < 0 ? v * slope[k] : v;
            }
    }
}

// Nearest enlargement by a whole factor of planar values.
void resizeNearest(const float* in, float* out, const Shape& inShape, int factor)
{
    const std::int64_t w = inShape[3], outW = w * factor;
    for (std::int64_t plane = 0; plane < inShape[0] * inShape[1]; ++plane)
        for (std::int64_t y = 0; y < inShape[2] * factor; ++y) {
            const float* from = in + (plane * inShape[2] + y / factor) * w;
            float* to = out + (plane * inShape[2] * factor + y) * outW;
            for (std::int64_t x = 0; x < outW; ++x)
                to[x] = from[x / factor];
        }
}

// Moves blocks of channels into space: output (c, h*b + i, w*b + j) comes from channel
// (i*b + j)*C + c in DCR order or c*b*b + i*b + j in CRD order.
void depthToSpace(const float* in, float* out, const Shape& inShape, int b, bool dcr)
{
    const std::int64_t n = inShape[0], h = inShape[2], w = inShape[3];
    const std::int64_t c = inShape[1] / (b * b);
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

} // namespace

struct Network::Impl {
    Plan plan;
    double multiplyAdds = 0;
    int threads = 1;
    dnnl::engine engine{dnnl::engine::kind::cpu, 0};
    dnnl::stream stream{engine};
    std::vector<Buffer> slots;
    Buffer scratch;
    std::vector<memory> memories;  // per value, empty where none
    std::vector<memory> constants; // reordered weights and biases
    struct Run {
        dnnl::primitive primitive;
        std::unordered_map<int, memory> args;
        memory::desc scratchpad;
        std::function<void()> custom;
    };
    std::vector<Run> runs;
    std::map<std::string, int> kernels;

    float* pointer(int value) const;
    memory::desc describe(int value) const;
    memory& mem(int value);
    dnnl::primitive_attr attributes(const Step& step, Run& run);
    memory constant(const Constant& c, const memory::dims& dims, Tag tag,
                    const memory::desc& wanted);
    void build(const Step& step);
    void buildConv(const Step& step, Run& run);
    void buildCustom(const Step& step, Run& run);
    template <typename Primitive, typename Pd> void keep(const Pd& pd, Run& run);
};

float* Network::Impl::pointer(int value) const
{
    const PlanValue& v = plan.values[size_t(value)];
    const PlanValue& root = v.root >= 0 ? plan.values[size_t(v.root)] : v;
    // A slice of whole blocks of a single image is itself a dense blocked value.
    const std::int64_t offset = v.channelOffset * v.shape[2] * v.shape[3];
    return reinterpret_cast<float*>(slots[size_t(root.slot)].get()) + offset;
}

memory::desc Network::Impl::describe(int value) const
{
    const PlanValue& v = plan.values[size_t(value)];
    const memory::dims dims{v.shape[0], v.shape[1], v.shape[2], v.shape[3]};
    const Tag tag = v.layout == Layout::plain ? Tag::nchw
                    : plan.block == 16        ? Tag::nChw16c
                                              : Tag::nChw8c;
    return memory::desc(dims, f32, tag);
}

memory& Network::Impl::mem(int value)
{
    memory& m = memories[size_t(value)];
    if (!m)
        m = memory(describe(value), engine, pointer(value));
    return m;
}

dnnl::primitive_attr Network::Impl::attributes(const Step& step, Run& run)
{
    dnnl::post_ops ops;
    for (const PostOp& post : step.post) {
        const int index = ops.len();
        if (post.kind == OpKind::relu)
            ops.append_eltwise(1.0f, algorithm::eltwise_relu, 0.0f, 0.0f);
        else if (post.kind == OpKind::linear)
            ops.append_eltwise(1.0f, algorithm::eltwise_linear, post.alpha, post.beta);
        else {
            ops.append_binary(binaryAlgorithm(post.kind), describe(post.operand));
            run.args[DNNL_ARG_ATTR_MULTIPLE_POST_OP(index) | DNNL_ARG_SRC_1] = mem(post.operand);
        }
    }
    dnnl::primitive_attr attr;
    attr.set_post_ops(ops);
    attr.set_scratchpad_mode(dnnl::scratchpad_mode::user);
    return attr;
}

// The constant reordered once into the layout the kernel wants.
memory Network::Impl::constant(const Constant& c, const memory::dims& dims, Tag tag,
                               const memory::desc& wanted)
{
    memory source(memory::desc(dims, f32, tag), engine, const_cast<float*>(c.values.data()));
    memory target(wanted, engine);
    dnnl::reorder(source, target).execute(stream, source, target);
    stream.wait();
    constants.push_back(target);
    return target;
}

template <typename Primitive, typename Pd> void Network::Impl::keep(const Pd& pd, Run& run)
{
    run.primitive = Primitive(pd);
    run.scratchpad = pd.scratchpad_desc();
    ++kernels[pd.impl_info_str()];
}

void Network::Impl::buildConv(const Step& step, Run& run)
{
    const Operation& op = *step.op;
    const auto& w = op.weights.dims;
    const memory::dims weightDims{w[0], w[1], w[2], w[3]};
    const memory::desc weights(weightDims, f32, Tag::any);
    const memory::desc bias({w[0]}, f32, Tag::x);
    const dnnl::convolution_forward::desc desc(
        inference, algorithm::convolution_direct, describe(step.inputs[0]), weights, bias,
        describe(step.output), {op.strides[0], op.strides[1]},
        {op.dilations[0] - 1, op.dilations[1] - 1}, {op.pads[0], op.pads[1]},
        {op.pads[2], op.pads[3]});
    const dnnl::convolution_forward::primitive_desc pd(desc, attributes(step, run), engine);
    keep<dnnl::convolution_forward>(pd, run);
    run.args[DNNL_ARG_SRC] = mem(step.inputs[0]);
    run.args[DNNL_ARG_WEIGHTS] = constant(op.weights, weightDims, Tag::oihw, pd.weights_desc());
    run.args[DNNL_ARG_BIAS] = constant(op.bias, {w[0]}, Tag::x, pd.bias_desc());
    run.args[DNNL_ARG_DST] = mem(step.output);
}

void Network::Impl::buildCustom(const Step& step, Run& run)
{
    const float* in = pointer(step.inputs[0]);
    float* out = pointer(step.output);
    const Shape shape = plan.values[size_t(step.inputs[0])].shape;
    const int factor = step.op->factor;
    std::string name;
    if (step.kind == StepKind::prelu) {
        const bool blocked = plan.values[size_t(step.inputs[0])].layout == Layout::blocked;
        const int block = blocked ? plan.block : 1;
        // A copy: the graph does not outlive the network.
        run.custom = [=, slopes = step.op->weights.values] {
            prelu(in, out, shape, slopes.data(), block);
        };
        name = "prelu";
    } else if (step.kind == StepKind::resize) {
        run.custom = [=] { resizeNearest(in, out, shape, factor); };
        name = "resize";
    } else {
        run.custom = [=, dcr = step.op->dcr] { depthToSpace(in, out, shape, factor, dcr); };
        name = "depth-to-space";
    }
    ++kernels[name];
}

void Network::Impl::build(const Step& step)
{
    Run run;
    switch (step.kind) {
    case StepKind::none:
        return;
    case StepKind::conv:
        buildConv(step, run);
        break;
    case StepKind::eltwise: {
        const bool relu = step.op->kind == OpKind::relu;
        const dnnl::eltwise_forward::desc desc(
            inference, relu ? algorithm::eltwise_relu : algorithm::eltwise_linear,
            describe(step.inputs[0]), relu ? 0.0f : step.op->alpha, relu ? 0.0f : step.op->beta);
        keep<dnnl::eltwise_forward>(
            dnnl::eltwise_forward::primitive_desc(desc, attributes(step, run), engine), run);
        run.args[DNNL_ARG_SRC] = mem(step.inputs[0]);
        run.args[DNNL_ARG_DST] = mem(step.output);
        break;
    }
    case StepKind::binary: {
        const dnnl::binary::desc desc(binaryAlgorithm(step.op->kind), describe(step.inputs[0]),
                                      describe(step.inputs[1]), describe(step.output));
        keep<dnnl::binary>(dnnl::binary::primitive_desc(desc, attributes(step, run), engine), run);
        run.args[DNNL_ARG_SRC_0] = mem(step.inputs[0]);
        run.args[DNNL_ARG_SRC_1] = mem(step.inputs[1]);
        run.args[DNNL_ARG_DST] = mem(step.output);
        break;
    }
    case StepKind::concat: {
        std::vector<memory::desc> sources;
        for (size_t i = 0; i < step.inputs.size(); ++i) {
            sources.push_back(describe(step.inputs[i]));
            run.args[DNNL_ARG_MULTIPLE_SRC + int(i)] = mem(step.inputs[i]);
        }
        keep<dnnl::concat>(dnnl::concat::primitive_desc(describe(step.output), 1, sources, engine,
                                                        attributes(step, run)),
                           run);
        run.args[DNNL_ARG_DST] = mem(step.output);
        break;
    }
    case StepKind::reorder:
        keep<dnnl::reorder>(dnnl::reorder::primitive_desc(engine, describe(step.inputs[0]), engine,
                                                          describe(step.output),
                                                          attributes(step, run)),
                            run);
        run.args[DNNL_ARG_FROM] = mem(step.inputs[0]);
        run.args[DNNL_ARG_TO] = mem(step.output);
        break;
    case StepKind::prelu:
    case StepKind::resize:
    case StepKind::depthToSpace:
        buildCustom(step, run);
        break;
    }
    runs.push_back(std::move(run));
}

Network::Network(const Graph& graph) : d(std::make_unique<Impl>())
{
    d->threads = threadsForMachine();
    omp_set_num_threads(d->threads); // the kernels split their work for this many at creation
    d->plan = makePlan(graph, blockForProcessor());
    d->multiplyAdds = graph.multiplyAdds();
    for (const std::int64_t bytes : d->plan.slotBytes)
        d->slots.push_back(allocate(bytes));
    d->memories.resize(d->plan.values.size());
    for (const Step& step : d->plan.steps)
        d->build(step);
    // One scratch area serves every step, as they run one after another.
    size_t scratchBytes = 0;
    for (const Impl::Run& run : d->runs)
        if (!run.custom)
            scratchBytes = std::max(scratchBytes, run.scratchpad.get_size());
    d->scratch = allocate(std::int64_t(scratchBytes));
    for (Impl::Run& run : d->runs)
        if (!run.custom)
            run.args[DNNL_ARG_SCRATCHPAD] = memory(run.scratchpad, d->engine, d->scratch.get());
}

Network::~Network() = default;

float* Network::input()
{
    return d->pointer(d->plan.input);
}

Shape Network::inputShape() const
{
    return d->plan.values[size_t(d->plan.input)].shape;
}

const float* Network::run()
{
    omp_set_num_threads(d->threads); // per calling thread; runs may come from any thread
    for (Impl::Run& run : d->runs) {
        if (run.custom) {
            d->stream.wait();
            run.custom();
        } else {
            run.primitive.execute(d->stream, run.args);
        }
    }
    d->stream.wait();
    return d->pointer(d->plan.output);
}

Shape Network::outputShape() const
{
    return d->plan.values[size_t(d->plan.output)].shape;
}

double Network::multiplyAdds() const
{
    return d->multiplyAdds;
}

std::string Network::device() const
{
    return "CPU (oneDNN, " + std::to_string(d->threads) + " threads)";
}

std::string Network::summary() const
{
    std::string text;
    for (const auto& [name, count] : d->kernels)
        text += (text.empty() ? "" : ", ") + std::to_string(count) + " x " + name;
    std::int64_t bytes = 0;
    for (const std::int64_t b : d->plan.slotBytes)
        bytes += b;
    return text + "; " + std::to_string(bytes >> 20) + " MiB in " +
           std::to_string(d->plan.slotBytes.size()) + " buffers; " + std::to_string(d->threads) +
           " threads";
}

} // namespace sr
