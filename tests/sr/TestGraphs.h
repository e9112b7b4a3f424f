#pragma once

// Graphs built in code that every executor must run alike.

#include "OnnxBuilder.h"

#include <string>

// Every supported operation in the combinations the converter emits and a few it might.
std::string everyOperation(const OnnxBuilder::Dims& dims);

// Convolutions off the common path: strides, dilations, uneven padding, 1x1 and 5x3 kernels,
// channel counts that are no multiple of four, and PRelu that cannot be fused.
std::string unusualConvolutions(const OnnxBuilder::Dims& dims);
