#include "Network.h"

#include "CpuPasses.h"
#include "NetworkPrivate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <omp.h>
#include <oneapi/dnnl/dnnl_debug.h>

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

} // namespace

Network::Impl::Buffer Network::Impl::allocate(std::int64_t bytes)
{
    const size_t size = size_t((bytes + 63) / 64 * 64);
    void* p = std::aligned_alloc(64, size ? size : 64);
    if (!p)
        throw std::bad_alloc();
    std::memset(p, 0, size ? size : 64);
    return Buffer(static_cast<std::byte*>(p));
}

size_t Network::Impl::firstPrelu(const Step& step)
{
    size_t k = 0;
    while (k < step.post.size() && step.post[k].kind != OpKind::prelu)
        ++k;
    return k;
}

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

// The library's share of the step's post-operations: the first `fused`.
dnnl::primitive_attr Network::Impl::attributes(const Step& step, size_t fused, Run& run)
{
    dnnl::post_ops ops;
    for (size_t k = 0; k < fused; ++k) {
        const PostOp& post = step.post[k];
        const int index = ops.len();
        if (post.kind == OpKind::relu) {
            ops.append_eltwise(1.0f, algorithm::eltwise_relu, 0.0f, 0.0f);
        } else if (post.kind == OpKind::linear) {
            ops.append_eltwise(1.0f, algorithm::eltwise_linear, post.alpha, post.beta);
        } else if (post.kind == OpKind::prelu) {
            ops.append_prelu(1 << 1); // one slope per channel
            const std::vector<float>& values = slopes.emplace_back(post.slopes->weights.values);
            const memory::desc desc({1, memory::dim(values.size()), 1, 1}, f32, Tag::nchw);
            run.args[DNNL_ARG_ATTR_MULTIPLE_POST_OP(index) | DNNL_ARG_WEIGHTS] =
                memory(desc, engine, const_cast<float*>(values.data()));
        } else {
            ops.append_binary(binaryAlgorithm(post.kind), describe(post.operand));
            run.args[DNNL_ARG_ATTR_MULTIPLE_POST_OP(index) | DNNL_ARG_SRC_1] = mem(post.operand);
        }
    }
    dnnl::primitive_attr attr;
    attr.set_post_ops(ops);
    attr.set_scratchpad_mode(dnnl::scratchpad_mode::user);
    return attr;
}

// The constant reordered once into the layout the kernel wants; the runs that use it keep it.
memory Network::Impl::constant(const Constant& c, const memory::dims& dims, Tag tag,
                               const memory::desc& wanted)
{
    memory source(memory::desc(dims, f32, tag), engine, const_cast<float*>(c.values.data()));
    memory target(wanted, engine);
    dnnl::reorder(source, target).execute(stream, source, target);
    stream.wait();
    return target;
}

// The step's post-operations from `first` on, in place on its output in one read and write.
Network::Impl::Run Network::Impl::pass(const Step& step, size_t first)
{
    std::vector<ElementOp> ops;
    for (size_t k = first; k < step.post.size(); ++k) {
        const PostOp& post = step.post[k];
        ElementOp op{post.kind, post.alpha, post.beta};
        if (post.kind == OpKind::prelu)
            op.slopes = slopes.emplace_back(post.slopes->weights.values).data();
        else if (post.operand >= 0)
            op.operand = pointer(post.operand);
        ops.push_back(op);
    }
    const PlanValue& out = plan.values[size_t(step.output)];
    const int block = out.layout == Layout::blocked ? plan.block : 1;
    float* values = pointer(step.output);
    Run run;
    run.custom = [=, shape = out.shape] { applyElementwise(values, values, shape, block, ops); };
    run.name = "element-wise pass";
    return run;
}

void Network::Impl::execute(std::vector<Run>& list)
{
    for (Run& run : list) {
        if (run.custom) {
            stream.wait();
            run.custom();
        } else {
            run.primitive.execute(stream, run.args);
        }
    }
    stream.wait();
}

void Network::Impl::commit(Run run)
{
    ++kernels[run.name];
    runs.push_back(std::move(run));
}

void Network::Impl::buildCustom(const Step& step, Run& run)
{
    const float* in = pointer(step.inputs[0]);
    float* out = pointer(step.output);
    const Shape shape = plan.values[size_t(step.inputs[0])].shape;
    const int factor = step.op->factor;
    if (step.kind == StepKind::prelu) {
        const bool blocked = plan.values[size_t(step.inputs[0])].layout == Layout::blocked;
        const int block = blocked ? plan.block : 1;
        const std::vector<ElementOp> ops{
            {OpKind::prelu, 1, 0, slopes.emplace_back(step.op->weights.values).data()}};
        run.custom = [=] { applyElementwise(in, out, shape, block, ops); };
        run.name = "element-wise pass";
    } else if (step.kind == StepKind::resize) {
        run.custom = [=] { resizeNearest(in, out, shape, factor); };
        run.name = "resize";
    } else {
        run.custom = [=, dcr = step.op->dcr] { depthToSpace(in, out, shape, factor, dcr); };
        run.name = "depth-to-space";
    }
}

void Network::Impl::build(const Step& step)
{
    Run run;
    switch (step.kind) {
    case StepKind::none:
        return;
    case StepKind::conv:
        buildConv(step);
        return;
    case StepKind::eltwise: {
        const bool relu = step.op->kind == OpKind::relu;
        const dnnl::eltwise_forward::desc desc(
            inference, relu ? algorithm::eltwise_relu : algorithm::eltwise_linear,
            describe(step.inputs[0]), relu ? 0.0f : step.op->alpha, relu ? 0.0f : step.op->beta);
        keep<dnnl::eltwise_forward>(
            dnnl::eltwise_forward::primitive_desc(desc, attributes(step, 0, run), engine), run);
        run.args[DNNL_ARG_SRC] = mem(step.inputs[0]);
        run.args[DNNL_ARG_DST] = mem(step.output);
        break;
    }
    case StepKind::binary: {
        const dnnl::binary::desc desc(binaryAlgorithm(step.op->kind), describe(step.inputs[0]),
                                      describe(step.inputs[1]), describe(step.output));
        const size_t fused = firstPrelu(step);
        keep<dnnl::binary>(dnnl::binary::primitive_desc(desc, attributes(step, fused, run), engine),
                           run);
        run.args[DNNL_ARG_SRC_0] = mem(step.inputs[0]);
        run.args[DNNL_ARG_SRC_1] = mem(step.inputs[1]);
        run.args[DNNL_ARG_DST] = mem(step.output);
        commit(std::move(run));
        if (fused < step.post.size())
            commit(pass(step, fused));
        return;
    }
    case StepKind::concat: {
        std::vector<memory::desc> sources;
        for (size_t i = 0; i < step.inputs.size(); ++i) {
            sources.push_back(describe(step.inputs[i]));
            run.args[DNNL_ARG_MULTIPLE_SRC + int(i)] = mem(step.inputs[i]);
        }
        keep<dnnl::concat>(dnnl::concat::primitive_desc(describe(step.output), 1, sources, engine,
                                                        attributes(step, 0, run)),
                           run);
        run.args[DNNL_ARG_DST] = mem(step.output);
        break;
    }
    case StepKind::reorder:
        keep<dnnl::reorder>(dnnl::reorder::primitive_desc(engine, describe(step.inputs[0]), engine,
                                                          describe(step.output),
                                                          attributes(step, 0, run)),
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
    commit(std::move(run));
}

Network::Network(const Graph& graph) : d(std::make_unique<Impl>())
{
    d->threads = threadsForMachine();
    omp_set_num_threads(d->threads); // the kernels split their work for this many at creation
    d->plan = makePlan(graph, blockForProcessor(), {.fusePrelu = true});
    d->multiplyAdds = graph.multiplyAdds();
    for (const std::int64_t bytes : d->plan.slotBytes)
        d->slots.push_back(Impl::allocate(bytes));
    d->memories.resize(d->plan.values.size());
    for (const Step& step : d->plan.steps)
        d->build(step);
    // One scratch area serves every step, as they run one after another.
    size_t scratchBytes = 0;
    for (const Impl::Run& run : d->runs)
        if (!run.custom)
            scratchBytes = std::max(scratchBytes, run.scratchpad.get_size());
    d->scratch = Impl::allocate(std::int64_t(scratchBytes));
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
    d->execute(d->runs);
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

std::string Network::convolutionAlgorithms() const
{
    return std::to_string(d->winograd) + " Winograd, " +
           std::to_string(d->convolutions - d->winograd) + " direct";
}

} // namespace sr
