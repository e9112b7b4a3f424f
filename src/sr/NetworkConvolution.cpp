#include "CpuPasses.h"
#include "NetworkPrivate.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>

namespace sr {

namespace {

// Convolutions that differ only in their weights run alike: they share a measurement.
std::string signature(const Step& step, const std::vector<PlanValue>& values)
{
    const Operation& op = *step.op;
    std::string key;
    for (const std::int64_t n : op.weights.dims)
        key += std::to_string(n) + ",";
    for (const auto& numbers :
         {op.pads, std::array<std::int64_t, 4>{op.strides[0], op.strides[1], op.dilations[0],
                                               op.dilations[1]}})
        for (const std::int64_t n : numbers)
            key += std::to_string(n) + ",";
    for (const int v : {step.inputs[0], step.output})
        for (const std::int64_t n : values[size_t(v)].shape)
            key += std::to_string(n) + ",";
    key += values[size_t(step.inputs[0])].layout == Layout::plain ? "p" : "b";
    for (const PostOp& post : step.post)
        key += std::to_string(int(post.kind));
    return key;
}

// The way measured fastest per signature, kept for the life of the process: the machine stays
// the same, and every network with the same layers runs them alike.
std::mutex waysLock;
std::map<std::string, ConvWay> measuredWays; // guarded by waysLock

std::optional<ConvWay> measuredWay(const std::string& key)
{
    const std::lock_guard lock(waysLock);
    const auto found = measuredWays.find(key);
    return found != measuredWays.end() ? std::optional(found->second) : std::nullopt;
}

} // namespace

// The runs of a convolution step done the given way. Throws dnnl::error where the library has
// no kernel for it; empty where the library picks the plan's own source layout anyway.
std::vector<Network::Impl::Run> Network::Impl::convolution(const Step& step, const ConvWay& way)
{
    const Operation& op = *step.op;
    const auto& w = op.weights.dims;
    const memory::dims weightDims{w[0], w[1], w[2], w[3]};
    const memory::desc source = describe(step.inputs[0]);
    const dnnl::convolution_forward::desc desc(
        inference, way.alg, way.anySource ? memory::desc(source.dims(), f32, Tag::any) : source,
        memory::desc(weightDims, f32, Tag::any), memory::desc({w[0]}, f32, Tag::x),
        describe(step.output), {op.strides[0], op.strides[1]},
        {op.dilations[0] - 1, op.dilations[1] - 1}, {op.pads[0], op.pads[1]},
        {op.pads[2], op.pads[3]});
    Run conv;
    const dnnl::convolution_forward::primitive_desc pd(desc, attributes(step, way.fused, conv),
                                                       engine);
    std::vector<Run> list;
    memory input = mem(step.inputs[0]);
    if (pd.src_desc() != source) {
        Run reorder;
        memory staged(pd.src_desc(), engine);
        keep<dnnl::reorder>(dnnl::reorder::primitive_desc(input, staged), reorder);
        reorder.args = {{DNNL_ARG_FROM, input}, {DNNL_ARG_TO, staged}};
        list.push_back(std::move(reorder));
        input = staged;
    } else if (way.anySource) {
        return {};
    }
    keep<dnnl::convolution_forward>(pd, conv);
    conv.args[DNNL_ARG_SRC] = input;
    conv.args[DNNL_ARG_WEIGHTS] = constant(op.weights, weightDims, Tag::oihw, pd.weights_desc());
    conv.args[DNNL_ARG_BIAS] = constant(op.bias, {w[0]}, Tag::x, pd.bias_desc());
    conv.args[DNNL_ARG_DST] = mem(step.output);
    list.push_back(std::move(conv));
    if (way.fused < step.post.size())
        list.push_back(pass(step, way.fused));
    return list;
}

// The shortest of a few runs of each candidate, after one that pays for the first touches of
// memory. The candidates take turns, so that other work on the machine slows them alike.
std::vector<double> Network::Impl::shortestMs(std::vector<std::vector<Run>*> candidates)
{
    size_t bytes = 0;
    for (const auto* list : candidates)
        for (const Run& run : *list)
            bytes = std::max(bytes, run.custom ? 0 : run.scratchpad.get_size());
    const Buffer area = allocate(std::int64_t(bytes));
    for (auto* list : candidates) {
        for (Run& run : *list)
            if (!run.custom)
                run.args[DNNL_ARG_SCRATCHPAD] = memory(run.scratchpad, engine, area.get());
        execute(*list);
    }
    std::vector<double> shortest(candidates.size(), INFINITY);
    for (int round = 0; round < 5; ++round)
        for (size_t k = 0; k < candidates.size(); ++k) {
            const auto start = std::chrono::steady_clock::now();
            execute(*candidates[k]);
            const std::chrono::duration<double, std::milli> ms =
                std::chrono::steady_clock::now() - start;
            shortest[k] = std::min(shortest[k], ms.count());
        }
    return shortest;
}

// Tries the ways the library offers and keeps the fastest. The plan's own way (direct, the
// plan's layouts, PRelu and what follows it in a pass) always counts; another counts only with
// real kernels, as the library's reference kernels are hundreds of times slower, and must be
// a tenth faster than the best before it, so that near ties do not flip from load to load
// (Winograd excepted, below).
std::pair<ConvWay, std::vector<Network::Impl::Run>>
Network::Impl::fastestConvolution(const Step& step)
{
    const size_t plain = firstPrelu(step);
    std::vector<size_t> shares{step.post.size()}; // the library's share, the largest first
    for (const size_t fused : {plain, size_t(0)})
        if (fused < shares.back())
            shares.push_back(fused);
    std::vector<std::pair<ConvWay, std::vector<Run>>> candidates;
    for (const algorithm alg : {algorithm::convolution_direct, algorithm::convolution_winograd})
        for (const bool anySource : {false, true})
            for (const size_t fused : shares) {
                const ConvWay way{alg, anySource, fused};
                const bool baseline =
                    alg == algorithm::convolution_direct && !anySource && fused == plain;
                std::vector<Run> list;
                try {
                    list = convolution(step, way);
                } catch (const dnnl::error& error) {
                    if (baseline || error.status != dnnl_unimplemented)
                        throw;
                    continue;
                }
                if (list.empty())
                    break; // the library picks the plan's layout: tried already
                const bool reference = std::any_of(list.begin(), list.end(), [](const Run& run) {
                    return run.name.rfind("ref", 0) == 0;
                });
                if (reference && !baseline)
                    continue;
                candidates.emplace_back(way, std::move(list));
                break;
            }
    size_t best = 0;
    if (candidates.size() > 1) {
        std::vector<std::vector<Run>*> lists;
        for (auto& candidate : candidates)
            lists.push_back(&candidate.second);
        const std::vector<double> ms = shortestMs(lists);
        const auto winograd = [&](size_t k) {
            return candidates[k].first.alg == algorithm::convolution_winograd;
        };
        for (size_t k = 1; k < candidates.size(); ++k) {
            // Winograd does under half the multiplies: where it runs well it wins by far, so
            // it takes over unless clearly slower, and a busy machine cannot blur it away.
            const double margin = winograd(k) && !winograd(best) ? 1.1 : 0.9;
            if (ms[k] < margin * ms[best])
                best = k;
        }
    }
    return std::move(candidates[best]);
}

void Network::Impl::buildConv(const Step& step)
{
    const std::string key = signature(step, plan.values);
    const std::optional<ConvWay> known = measuredWay(key);
    auto [way, list] =
        known ? std::pair(*known, convolution(step, *known)) : fastestConvolution(step);
    if (!known) {
        const std::lock_guard lock(waysLock);
        measuredWays.emplace(key, way);
    }
    ++convolutions;
    winograd += way.alg == algorithm::convolution_winograd;
    for (Run& run : list)
        commit(std::move(run));
}

} // namespace sr
