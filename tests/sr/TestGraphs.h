#pragma once

// Graphs built in code that every executor must run alike.

#include "OnnxBuilder.h"
#include "sr/Executor.h"

#include <QStringList>
#include <string>
#include <vector>

// Every supported operation in the combinations the converter emits and a few it might.
std::string everyOperation(const OnnxBuilder::Dims& dims);

// Convolutions off the common path: strides, dilations, uneven padding, 1x1 and 5x3 kernels,
// channel counts that are no multiple of four, and PRelu that cannot be fused.
std::string unusualConvolutions(const OnnxBuilder::Dims& dims);

// The executor's output for the input.
std::vector<float> runOnce(sr::Executor& network, const std::vector<float>& input);

// The largest difference of two outputs; infinite for a NaN in the first or different sizes.
float maxDifference(const std::vector<float>& a, const std::vector<float>& b);

// Paths of the shipped models and the test models.
QStringList shippedAndTestModels();
