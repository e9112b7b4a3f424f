#include "Vulkan.h"

#include "GpuFault.h"

#include <algorithm>
#include <cstring>

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

// The largest device-local heap, or what the driver's budget leaves of it for this process
// where the driver can tell: other programs' use of the GPU counts.
std::uint64_t deviceMemory(VkPhysicalDevice device)
{
    VkPhysicalDeviceMemoryBudgetPropertiesEXT budget{
        VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_MEMORY_BUDGET_PROPERTIES_EXT};
    VkPhysicalDeviceMemoryProperties2 properties{
        VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_MEMORY_PROPERTIES_2};
    const bool budgeted = hasExtension(device, VK_EXT_MEMORY_BUDGET_EXTENSION_NAME);
    if (budgeted)
        properties.pNext = &budget;
    vkGetPhysicalDeviceMemoryProperties2(device, &properties);
    const VkPhysicalDeviceMemoryProperties& memory = properties.memoryProperties;
    std::uint64_t largest = 0;
    for (std::uint32_t i = 0; i < memory.memoryHeapCount; ++i) {
        if (!(memory.memoryHeaps[i].flags & VK_MEMORY_HEAP_DEVICE_LOCAL_BIT))
            continue;
        std::uint64_t free = memory.memoryHeaps[i].size;
        if (budgeted)
            free = budget.heapBudget[i] > budget.heapUsage[i]
                       ? std::min(free, budget.heapBudget[i] - budget.heapUsage[i])
                       : 0;
        largest = std::max(largest, free);
    }
    return largest;
}

bool computeQueue(VkPhysicalDevice device, DeviceChoice& choice)
{
    std::uint32_t count = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, nullptr);
    std::vector<VkQueueFamilyProperties> families(count);
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, families.data());
    for (std::uint32_t i = 0; i < count; ++i)
        if (families[i].queueFlags & VK_QUEUE_COMPUTE_BIT) {
            choice.queueFamily = i;
            choice.timestampBits = families[i].timestampValidBits;
            return true;
        }
    return false;
}

std::string driverText(VkPhysicalDevice device)
{
    if (!hasExtension(device, VK_KHR_DRIVER_PROPERTIES_EXTENSION_NAME))
        return {};
    VkPhysicalDeviceDriverProperties driver{VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_DRIVER_PROPERTIES};
    VkPhysicalDeviceProperties2 properties{VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2};
    properties.pNext = &driver;
    vkGetPhysicalDeviceProperties2(device, &properties);
    return std::string(driver.driverName) + " " + driver.driverInfo;
}

} // namespace

// Lists may be cut short (VK_INCOMPLETE): what came is still good.
bool hasExtension(VkPhysicalDevice device, const char* name)
{
    std::uint32_t count = 0;
    if (vkEnumerateDeviceExtensionProperties(device, nullptr, &count, nullptr) != VK_SUCCESS)
        return false;
    std::vector<VkExtensionProperties> extensions(count);
    const VkResult result =
        vkEnumerateDeviceExtensionProperties(device, nullptr, &count, extensions.data());
    if (result != VK_SUCCESS && result != VK_INCOMPLETE)
        return false;
    extensions.resize(count);
    return std::any_of(extensions.begin(), extensions.end(),
                       [&](const auto& e) { return std::strcmp(e.extensionName, name) == 0; });
}

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
            choice.properties.apiVersion < VK_API_VERSION_1_1 || !computeQueue(device, choice) ||
            (lowMemory ? 0 : deviceMemory(device)) < bytes)
            continue;
        choice.driver = driverText(device);
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
