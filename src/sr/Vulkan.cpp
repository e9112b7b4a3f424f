#include "Vulkan.h"

#include "GpuFault.h"

#include <algorithm>

namespace sr {

void check(VkResult result, const char* call)
{
    if (result != VK_SUCCESS)
        throw DeviceError(call, result);
}

namespace {

struct Instance {
    VkInstance handle = VK_NULL_HANDLE;
    VkResult result = VK_ERROR_INITIALIZATION_FAILED;

    Instance()
    {
        VkApplicationInfo app{VK_STRUCTURE_TYPE_APPLICATION_INFO};
        app.pApplicationName = "Tolvane";
        app.apiVersion = VK_API_VERSION_1_1;
        VkInstanceCreateInfo info{VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO};
        info.pApplicationInfo = &app;
        result = vkCreateInstance(&info, nullptr, &handle);
    }
    // Never destroyed: networks may outlive any static object, and the process ends soon after.
};

int rank(VkPhysicalDeviceType type)
{
    switch (type) {
    case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU:
        return 0;
    case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU:
        return 1;
    case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU:
        return 2;
    case VK_PHYSICAL_DEVICE_TYPE_CPU:
        return 4;
    default:
        return 3;
    }
}

std::uint64_t deviceMemory(VkPhysicalDevice device)
{
    VkPhysicalDeviceMemoryProperties memory;
    vkGetPhysicalDeviceMemoryProperties(device, &memory);
    std::uint64_t largest = 0;
    for (std::uint32_t i = 0; i < memory.memoryHeapCount; ++i)
        if (memory.memoryHeaps[i].flags & VK_MEMORY_HEAP_DEVICE_LOCAL_BIT)
            largest = std::max<std::uint64_t>(largest, memory.memoryHeaps[i].size);
    return largest;
}

bool computeQueue(VkPhysicalDevice device, std::uint32_t& family)
{
    std::uint32_t count = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, nullptr);
    std::vector<VkQueueFamilyProperties> families(count);
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, families.data());
    for (std::uint32_t i = 0; i < count; ++i)
        if (families[i].queueFlags & VK_QUEUE_COMPUTE_BIT) {
            family = i;
            return true;
        }
    return false;
}

} // namespace

VkInstance vulkanInstance()
{
    static const Instance instance;
    check(instance.result, "vkCreateInstance");
    return instance.handle;
}

std::vector<DeviceChoice> candidateDevices(std::uint64_t bytes, bool anyType)
{
    const VkInstance instance = vulkanInstance();
    std::uint32_t count = 0;
    check(vkEnumeratePhysicalDevices(instance, &count, nullptr), "vkEnumeratePhysicalDevices");
    std::vector<VkPhysicalDevice> devices(count);
    if (count)
        check(vkEnumeratePhysicalDevices(instance, &count, devices.data()),
              "vkEnumeratePhysicalDevices");
    if (takeGpuFault(GpuFault::noDevice))
        devices.clear();
    const bool lowMemory = takeGpuFault(GpuFault::lowMemory);

    std::vector<DeviceChoice> choices;
    for (const VkPhysicalDevice device : devices) {
        DeviceChoice choice;
        choice.device = device;
        vkGetPhysicalDeviceProperties(device, &choice.properties);
        const auto type = choice.properties.deviceType;
        if ((type == VK_PHYSICAL_DEVICE_TYPE_CPU && !anyType && !cpuDevicesAllowed()) ||
            choice.properties.apiVersion < VK_API_VERSION_1_1 ||
            !computeQueue(device, choice.queueFamily) ||
            (lowMemory ? 0 : deviceMemory(device)) < bytes)
            continue;
        choices.push_back(choice);
    }
    std::stable_sort(choices.begin(), choices.end(), [](const auto& a, const auto& b) {
        return rank(a.properties.deviceType) < rank(b.properties.deviceType);
    });
    return choices;
}

std::string describe(const VkPhysicalDeviceProperties& properties)
{
    const char* type = "other device";
    switch (properties.deviceType) {
    case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU:
        type = "discrete GPU";
        break;
    case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU:
        type = "integrated GPU";
        break;
    case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU:
        type = "virtual GPU";
        break;
    case VK_PHYSICAL_DEVICE_TYPE_CPU:
        type = "CPU device";
        break;
    default:
        break;
    }
    return std::string(properties.deviceName) + " (" + type + ")";
}

} // namespace sr
