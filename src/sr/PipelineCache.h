#pragma once

// The driver's compiled pipelines, kept between runs in "Tolvane/Compiled" under the user's data
// folder, one file per device and driver. A file that is damaged or made for another device or
// driver is ignored and replaced, never handed to the driver.

#include <QString>
#include <vector>
#include <vulkan/vulkan.h>

namespace sr {

class PipelineCache {
public:
    // Reads the device's file, if any. Throws DeviceError when no cache can be made at all.
    PipelineCache(VkDevice device, const VkPhysicalDeviceProperties& properties);
    ~PipelineCache();
    PipelineCache(const PipelineCache&) = delete;
    PipelineCache& operator=(const PipelineCache&) = delete;

    VkPipelineCache handle() const { return m_cache; }
    // Whether the file held pipelines for this device and they were given to the driver.
    bool reused() const { return m_reused; }
    // Writes the cache when it holds more than the file did; a failure only costs time later.
    void save() const;

    // The file for the device, for tests.
    static QString path(const VkPhysicalDeviceProperties& properties);

private:
    VkDevice m_device;
    VkPhysicalDeviceProperties m_properties;
    VkPipelineCache m_cache = VK_NULL_HANDLE;
    std::vector<char> m_read;
    bool m_reused = false;
};

} // namespace sr
