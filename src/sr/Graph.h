#pragma once

// A super-resolution network as a plain list of operations, read from an ONNX file. Only the
// operations our converter emits are accepted; anything else is refused at load, never at run.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sr {

// A graph outside the supported set, or a damaged file. what() is for the log only.
struct GraphError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// N, C, H, W of an activation.
using Shape = std::array<std::int64_t, 4>;

enum class OpKind {
    conv,
    prelu,
    relu,
    linear, // alpha * x + beta, from Add, Sub or Mul with a single-value constant
    add,
    sub,
    mul,
    concat,
    resize,      // nearest, integer factors
    depthToSpace // blocksize, DCR or CRD order
};

struct Constant {
    std::vector<std::int64_t> dims;
    std::vector<float> values;
};

struct Operation {
    OpKind kind = OpKind::relu;
    std::vector<int> inputs; // activation ids, in the operation's order
    int output = -1;
    // conv: weights [O, I, kh, kw] and bias [O] (zeros when absent); prelu: slopes [C]
    Constant weights;
    Constant bias;
    std::array<std::int64_t, 4> pads{}; // top, left, bottom, right
    std::array<std::int64_t, 2> strides{1, 1};
    std::array<std::int64_t, 2> dilations{1, 1};
    float alpha = 1; // linear
    float beta = 0;
    int factor = 1;  // resize, depthToSpace
    bool dcr = true; // depthToSpace channel order
};

struct Graph {
    std::vector<std::string> names;    // activation id -> ONNX name
    std::vector<Shape> shapes;         // activation id -> shape
    std::vector<Operation> operations; // in an order where inputs come first
    int input = 0;
    int output = 0;

    // Multiply-adds of one run, for the compute bound.
    double multiplyAdds() const;
};

// Reads the ONNX model in `bytes` for one input of `inputShape`. The output is the one named
// "output", else the first. Throws GraphError for an unsupported operation or shape, a missing
// or malformed tensor, or a file that does not parse.
Graph readGraph(const std::string& bytes, const Shape& inputShape);

} // namespace sr
