#pragma once

// A planned graph translated for the GPU's kernels, independent of any device: the constants
// in the layouts the kernels read, one block of parameters per dispatch, and where every value
// lives in the one buffer of activations.

#include "Plan.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sr {

// toBytes turns the answer into bytes for the host; no program step uses it.
enum class Kernel { conv3x3, conv, pointwise, copy, resize, depthToSpace, toBytes };
constexpr int kernelCount = 7;

struct Dispatch {
    Kernel kernel = Kernel::pointwise;
    int base = 0; // first parameter
    // conv: output width, height and groups of four channels; others: elements to write.
    std::array<std::uint32_t, 3> extent{1, 1, 1};
    double multiplyAdds = 0; // convolutions only
};

struct VulkanProgram {
    std::vector<float> constants;
    std::vector<std::int32_t> parameters;
    std::vector<Dispatch> dispatches;
    std::uint64_t activationBytes = 0;
    std::uint64_t inputOffset = 0; // floats
    std::uint64_t outputOffset = 0;
    Shape inputShape{};
    Shape outputShape{};
    double multiplyAdds = 0;
};

// Channels per block of the GPU's blocked layout: one vector of four.
constexpr int gpuBlock = 4;
// Groups of four output channels that the 3x3 kernel makes per work group; weights are padded
// to a multiple of it.
constexpr int conv3x3Groups = 8;

// Throws GraphError for a graph the GPU's kernels do not run (a batch of more than one).
VulkanProgram translate(const Graph& graph);

// Whether the 3x3 kernel can make this dispatch's step (otherwise the general one does).
bool fitsConv3x3(const VulkanProgram& program, const Dispatch& dispatch);

} // namespace sr
