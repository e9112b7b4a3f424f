#pragma once

// The GPU's kernels: their SPIR-V, what each asks of a device, and the work groups a dispatch
// of each runs.

#include "VulkanProgram.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vulkan/vulkan.h>

namespace sr {

struct KernelCode {
    const std::uint32_t* words;
    size_t bytes;
    const char* name;
};

const KernelCode& kernelCode(Kernel kernel);

// Whether the 3x3 kernel's work group and local memory fit the device; the general
// convolution always does.
bool conv3x3Fits(const VkPhysicalDeviceLimits& limits);

// Work groups in x, y and z for the dispatch.
std::array<std::uint32_t, 3> workGroups(const Dispatch& dispatch);

} // namespace sr
