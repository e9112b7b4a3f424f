#pragma once

// The process's Vulkan instance and the choice of a device to run networks on.

#include <stdexcept>
#include <string>
#include <vector>
#include <vulkan/vulkan.h>

namespace sr {

// A Vulkan failure: no device, too little memory, a pipeline that cannot be made, a lost device
// or a run that does not finish. The CPU takes over; what() is for the log only.
struct DeviceError : std::runtime_error {
    DeviceError(const std::string& what, VkResult result = VK_ERROR_UNKNOWN)
        : std::runtime_error(what + " (" + std::to_string(int(result)) + ")"), result(result)
    {
    }
    VkResult result;
};

// Throws DeviceError naming the call unless the result is VK_SUCCESS.
void check(VkResult result, const char* call);

// The instance, made on first use; throws DeviceError when there is no Vulkan driver at all.
VkInstance vulkanInstance();

struct DeviceChoice {
    VkPhysicalDevice device = VK_NULL_HANDLE;
    VkPhysicalDeviceProperties properties{};
    std::uint32_t queueFamily = 0;
    std::uint32_t timestampBits = 0; // of the queue's timestamps; 0 where it has none
    // The driver's name and its own version text ("llvmpipe Mesa 22.3.6 (LLVM 15.0.6)"), where
    // it tells: some report a constant driver version.
    std::string driver;
};

// Whether the device offers the extension; false when it cannot tell.
bool hasExtension(VkPhysicalDevice device, const char* name);

// Devices with a compute queue and at least `bytes` of device memory (of what the driver's
// budget leaves free, where it tells), best first: discrete GPUs, then integrated, then virtual
// ones. CPU devices only when `anyType` (they are slower
// than the CPU's own library). Throws DeviceError when Vulkan itself cannot be used.
std::vector<DeviceChoice> candidateDevices(std::uint64_t bytes, bool anyType);

// "NVIDIA GeForce RTX 4070 (discrete GPU)"
std::string describe(const VkPhysicalDeviceProperties& properties);

} // namespace sr
