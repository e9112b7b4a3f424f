#pragma once

// The CPU's own passes over activations, for work the library does slowly or not at all: a
// chain of element-wise operations in one read and one write, nearest enlargement and
// depth-to-space. Each splits its work over the OpenMP threads.

#include "Graph.h"

#include <vector>

namespace sr {

// One element-wise operation of a pass.
struct ElementOp {
    OpKind kind = OpKind::relu; // prelu, relu, linear, add, sub or mul
    float alpha = 1;            // linear: alpha * x + beta
    float beta = 0;
    const float* slopes = nullptr;  // prelu: one per channel
    const float* operand = nullptr; // add, sub, mul: x op operand, laid out as x
};

// Applies the operations in order to every value of `in` and writes the results to `out`, which
// may be `in`. Channels come in groups of `block` innermost (1 for the plain layout, else 8 or
// 16); padding channels beyond the last are set to zero.
void applyElementwise(const float* in, float* out, const Shape& shape, int block,
                      const std::vector<ElementOp>& ops);

// Nearest enlargement by a whole factor of planar values.
void resizeNearest(const float* in, float* out, const Shape& inShape, int factor);

// Moves blocks of channels into space: output (c, h*b + i, w*b + j) comes from channel
// (i*b + j)*C + c in DCR order or c*b*b + i*b + j in CRD order. Planar values.
void depthToSpace(const float* in, float* out, const Shape& inShape, int b, bool dcr);

} // namespace sr
