#pragma once

// How a graph runs, decided once at load: which operations fuse into one step, which layout
// each value has, where concatenated values live and which values share memory. Knows nothing
// of the library that runs the steps.

#include "Graph.h"

#include <cstdint>
#include <vector>

namespace sr {

enum class Layout { plain, blocked };

struct PlanValue {
    Shape shape;
    Layout layout = Layout::plain;
    int producer = -1; // step index; -1 for the input and for values never computed
    bool materialized = false;
    // A value written straight into a slice of another value's memory (a concatenation).
    int root = -1;
    std::int64_t channelOffset = 0;
    int slot = -1; // memory slot of a root
};

struct PostOp {
    OpKind kind = OpKind::relu; // relu, linear, prelu, add, sub or mul
    float alpha = 1;            // linear
    float beta = 0;
    int operand = -1;                 // add, sub, mul: the other value
    const Operation* slopes = nullptr; // prelu: the operation holding them
};

enum class StepKind { conv, prelu, eltwise, binary, concat, reorder, resize, depthToSpace, none };

struct Step {
    StepKind kind = StepKind::none;
    // The operation that starts the step (none for a reorder); points into the graph planned.
    const Operation* op = nullptr;
    std::vector<int> inputs;
    std::vector<PostOp> post;
    int output = -1;
};

struct Plan {
    std::vector<PlanValue> values;
    std::vector<Step> steps;
    std::vector<std::int64_t> slotBytes;
    int input = 0;
    int output = 0;
    int block = 8; // channels per block of the blocked layout
};

// Bytes of a value laid out as given (the blocked layout pads channels to whole blocks).
std::int64_t valueBytes(const Shape& shape, Layout layout, int block);

// What an executor can fuse beyond Relu, scaling and the binary operations.
struct PlanOptions {
    bool fusePrelu = false;
};

// Plans the graph for blocks of `block` channels. Throws GraphError on a graph it cannot run.
Plan makePlan(const Graph& graph, int block, PlanOptions options = {});

} // namespace sr
