#pragma once

// What a Vulkan driver makes of each of the GPU's kernels: its own statistics (registers,
// instructions, local memory) and, where it gives its machine code, how much of the busiest
// block is fused multiply-adds. For measuring the kernels, never needed to run a network.

#include "Vulkan.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sr {

// The basic block of AMD machine code with the most fused multiply-adds.
struct HotBlock {
    int fmas = 0;
    int vectorInstructions = 0;
};

struct KernelStatistics {
    std::string kernel; // the kernel table's name: "conv 3x3"
    std::uint32_t subgroupSize = 0;
    // The driver's own names and values, in its order: {"VGPRs", "80"}.
    std::vector<std::pair<std::string, std::string>> values;
    // Empty where the driver gives no machine code, or none in AMD's form.
    std::optional<HotBlock> hottest;
};

// Builds every kernel on the device with statistics captured, in the kernel table's order.
// Empty when the driver has no VK_KHR_pipeline_executable_properties. Throws DeviceError when
// the device or a pipeline cannot be made.
std::vector<KernelStatistics> kernelStatistics(const DeviceChoice& device);

// Reads AMD's disassembly ("BB3:" labels, one instruction a line); empty when it has no
// vector instruction.
std::optional<HotBlock> hottestBlock(const std::string& assembly);

} // namespace sr
