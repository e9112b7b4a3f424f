#include "Plan.h"

#include <algorithm>
#include <climits>
#include <map>

namespace sr {

namespace {

bool isUnary(OpKind kind)
{
    return kind == OpKind::relu || kind == OpKind::linear;
}

bool isBinary(OpKind kind)
{
    return kind == OpKind::add || kind == OpKind::sub || kind == OpKind::mul;
}

// Turns operations into steps, fusing element-wise tails into the step before them.
class Builder {
public:
    Builder(const Graph& graph, Plan& plan, PlanOptions options)
        : m_graph(graph), m_plan(plan), m_options(options)
    {
    }
    void build();

private:
    int in(int value, Layout layout);
    void add(Step step, Layout layout);
    void absorbTail(Step& step, size_t anchor);

    const Graph& m_graph;
    Plan& m_plan;
    PlanOptions m_options;
    std::vector<int> m_uses;     // operations reading a value, plus one for the output
    std::vector<int> m_consumer; // the last operation reading it
    std::vector<bool> m_fused;
    std::map<std::pair<int, Layout>, int> m_converted;
};

void Builder::build()
{
    const auto& ops = m_graph.operations;
    m_uses.assign(m_graph.shapes.size(), 0);
    m_consumer.assign(m_graph.shapes.size(), -1);
    m_fused.assign(ops.size(), false);
    for (size_t i = 0; i < ops.size(); ++i)
        for (const int v : ops[i].inputs)
            ++m_uses[size_t(v)], m_consumer[size_t(v)] = int(i);
    ++m_uses[size_t(m_graph.output)];

    for (const Shape& shape : m_graph.shapes)
        m_plan.values.push_back({shape});
    m_plan.values[size_t(m_graph.input)].materialized = true;

    for (size_t i = 0; i < ops.size(); ++i) {
        if (m_fused[i])
            continue;
        const Operation& op = ops[i];
        Step step;
        step.op = &op;
        Layout layout = Layout::blocked;
        switch (op.kind) {
        case OpKind::conv:
            step.kind = StepKind::conv;
            step.inputs = {in(op.inputs[0], m_plan.values[size_t(op.inputs[0])].layout)};
            break;
        case OpKind::prelu:
        case OpKind::relu:
        case OpKind::linear:
            step.kind = op.kind == OpKind::prelu ? StepKind::prelu : StepKind::eltwise;
            layout = m_plan.values[size_t(op.inputs[0])].layout;
            step.inputs = {in(op.inputs[0], layout)};
            break;
        case OpKind::add:
        case OpKind::sub:
        case OpKind::mul:
            step.kind = StepKind::binary;
            layout = m_plan.values[size_t(op.inputs[0])].layout;
            step.inputs = {in(op.inputs[0], layout), in(op.inputs[1], layout)};
            break;
        case OpKind::concat:
            step.kind = StepKind::concat;
            for (const int v : op.inputs)
                step.inputs.push_back(in(v, Layout::blocked));
            break;
        case OpKind::resize:
        case OpKind::depthToSpace:
            step.kind = op.kind == OpKind::resize ? StepKind::resize : StepKind::depthToSpace;
            layout = Layout::plain;
            step.inputs = {in(op.inputs[0], Layout::plain)};
            break;
        }
        step.output = op.output;
        if (step.kind == StepKind::conv || step.kind == StepKind::binary)
            absorbTail(step, i);
        add(std::move(step), layout);
    }
    m_plan.output = in(m_graph.output, Layout::plain);
}

// The value in the layout, adding a reorder the first time another layout is asked for.
int Builder::in(int value, Layout layout)
{
    PlanValue& v = m_plan.values[size_t(value)];
    if (!v.materialized)
        throw GraphError("value used before it is computed");
    if (v.layout == layout)
        return value;
    if (const auto found = m_converted.find({value, layout}); found != m_converted.end())
        return found->second;
    const int converted = int(m_plan.values.size());
    m_plan.values.push_back({v.shape});
    Step reorder;
    reorder.kind = StepKind::reorder;
    reorder.inputs = {value};
    reorder.output = converted;
    add(std::move(reorder), layout);
    m_converted[{value, layout}] = converted;
    return converted;
}

void Builder::add(Step step, Layout layout)
{
    PlanValue& out = m_plan.values[size_t(step.output)];
    out.layout = layout;
    out.materialized = true;
    out.producer = int(m_plan.steps.size());
    m_plan.steps.push_back(std::move(step));
}

// Follows the step's result through operations that only it feeds: Relu, scaling, PRelu where the
// executor asks for it, and the sum, difference or product with a value that already exists
// become post-operations.
void Builder::absorbTail(Step& step, size_t anchor)
{
    const Layout layout = step.kind == StepKind::conv
                              ? Layout::blocked
                              : m_plan.values[size_t(step.inputs[0])].layout;
    int current = step.output;
    while (m_uses[size_t(current)] == 1 && current != m_graph.output) {
        const size_t next = size_t(m_consumer[size_t(current)]);
        const Operation& op = m_graph.operations[next];
        PostOp post;
        post.kind = op.kind, post.alpha = op.alpha, post.beta = op.beta;
        if (isBinary(op.kind)) {
            const int other = op.inputs[0] == current ? op.inputs[1] : op.inputs[0];
            const PlanValue& o = m_plan.values[size_t(other)];
            // x - y fuses only with x as our result; y must exist before the step runs.
            if (other == current || (op.kind == OpKind::sub && op.inputs[0] != current) ||
                !o.materialized || o.layout != layout || next <= anchor)
                break;
            post.operand = other;
        } else if (op.kind == OpKind::prelu && m_options.fusePrelu) {
            post.slopes = &op;
        } else if (!isUnary(op.kind)) {
            break;
        }
        step.post.push_back(post);
        m_fused[next] = true;
        current = op.output;
    }
    step.output = current;
}

// Lets the parts of a concatenation write straight into their slices of its memory. Each part
// must start on a block boundary, fill whole blocks (except the last part) and belong to this
// concatenation alone.
void placeConcatenations(Plan& plan)
{
    std::vector<int> concatUses(plan.values.size(), 0);
    for (const Step& step : plan.steps)
        if (step.kind == StepKind::concat)
            for (const int v : step.inputs)
                ++concatUses[size_t(v)];
    for (auto step = plan.steps.rbegin(); step != plan.steps.rend(); ++step) {
        if (step->kind != StepKind::concat)
            continue;
        const PlanValue& whole = plan.values[size_t(step->output)];
        bool fits = whole.shape[0] == 1;
        std::int64_t offset = 0;
        for (size_t i = 0; i < step->inputs.size() && fits; ++i) {
            const int v = step->inputs[i];
            const PlanValue& part = plan.values[size_t(v)];
            const bool last = i + 1 == step->inputs.size();
            fits = v != plan.input && v != plan.output && part.producer >= 0 && part.root < 0 &&
                   concatUses[size_t(v)] == 1 && offset % plan.block == 0 &&
                   (last || part.shape[1] % plan.block == 0);
            offset += part.shape[1];
        }
        if (!fits)
            continue;
        const int root = whole.root >= 0 ? whole.root : step->output;
        offset = whole.channelOffset;
        for (const int v : step->inputs) {
            plan.values[size_t(v)].root = root;
            plan.values[size_t(v)].channelOffset = offset;
            offset += plan.values[size_t(v)].shape[1];
        }
        step->kind = StepKind::none;
    }
}

// Gives every root value a memory slot, reusing slots whose values are no longer read.
void assignSlots(Plan& plan)
{
    const size_t count = plan.values.size();
    std::vector<int> first(count, INT_MAX), last(count, -1);
    auto rootOf = [&](int v) {
        return plan.values[size_t(v)].root >= 0 ? plan.values[size_t(v)].root : v;
    };
    for (size_t v = 0; v < count; ++v) {
        const PlanValue& value = plan.values[v];
        if (!value.materialized)
            continue;
        const int r = rootOf(int(v));
        first[size_t(r)] = std::min(first[size_t(r)], value.producer); // the input: -1
        last[size_t(r)] = std::max(last[size_t(r)], value.producer);
    }
    for (size_t s = 0; s < plan.steps.size(); ++s) {
        const Step& step = plan.steps[s];
        if (step.kind == StepKind::none)
            continue;
        for (const int v : step.inputs)
            last[size_t(rootOf(v))] = std::max(last[size_t(rootOf(v))], int(s));
        for (const PostOp& post : step.post)
            if (post.operand >= 0)
                last[size_t(rootOf(post.operand))] =
                    std::max(last[size_t(rootOf(post.operand))], int(s));
    }
    last[size_t(rootOf(plan.output))] = INT_MAX;

    std::vector<bool> slotFree;
    for (int s = -1; s < int(plan.steps.size()); ++s) {
        for (size_t r = 0; r < count; ++r) {
            if (first[r] != s)
                continue;
            PlanValue& root = plan.values[r];
            const std::int64_t bytes = valueBytes(root.shape, root.layout, plan.block);
            int best = -1;
            for (size_t k = 0; k < slotFree.size(); ++k)
                if (slotFree[k] && plan.slotBytes[k] >= bytes &&
                    (best < 0 || plan.slotBytes[k] < plan.slotBytes[size_t(best)]))
                    best = int(k);
            if (best < 0) {
                best = int(plan.slotBytes.size());
                plan.slotBytes.push_back(bytes);
                slotFree.push_back(false);
            }
            slotFree[size_t(best)] = false;
            root.slot = best;
        }
        for (size_t r = 0; r < count; ++r)
            if (last[r] == s && plan.values[r].slot >= 0)
                slotFree[size_t(plan.values[r].slot)] = true;
    }
}

} // namespace

std::int64_t valueBytes(const Shape& shape, Layout layout, int block)
{
    const std::int64_t channels =
        layout == Layout::blocked ? (shape[1] + block - 1) / block * block : shape[1];
    return shape[0] * channels * shape[2] * shape[3] * std::int64_t(sizeof(float));
}

Plan makePlan(const Graph& graph, int block, PlanOptions options)
{
    Plan plan;
    plan.block = block;
    plan.input = graph.input;
    Builder(graph, plan, options).build();
    placeConcatenations(plan);
    assignSlots(plan);
    return plan;
}

} // namespace sr
