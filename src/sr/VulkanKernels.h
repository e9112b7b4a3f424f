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

// The byte kernel's push constants; the first is every kernel's parameter base.
struct BytePush {
    std::int32_t base, source, plane, width, x, y, columns, count, target;
};

// The interface every kernel is built against: three storage buffers (activations, constants,
// parameters) in set 0 and the push constants of BytePush, of which most kernels read the first.
struct KernelLayout {
    VkDescriptorSetLayout set = VK_NULL_HANDLE;
    VkPipelineLayout pipeline = VK_NULL_HANDLE;
};
// Throws DeviceError, having made nothing, when the layouts cannot be made.
KernelLayout createKernelLayout(VkDevice device);
void destroyKernelLayout(VkDevice device, KernelLayout& layout);

// Whether the 3x3 kernel's work group and local memory fit the device; the general
// convolution always does.
bool conv3x3Fits(const VkPhysicalDeviceLimits& limits);

// Work groups in x, y and z for the dispatch.
std::array<std::uint32_t, 3> workGroups(const Dispatch& dispatch);

} // namespace sr
