#include "PipelineCache.h"

#include "FramedFile.h"
#include "ModelPrivate.h"
#include "Vulkan.h"

#include <cstring>

namespace sr {

namespace {

constexpr char tag[8] = {'T', 'L', 'V', 'P', 'C', 'A', 'C', '1'};
// Far above what two networks' pipelines take.
constexpr qint64 maxDataBytes = qint64(64) << 20;

// The driver's header: length, version, vendor, device and the driver's cache UUID.
bool madeForDevice(const std::vector<char>& data, const VkPhysicalDeviceProperties& properties)
{
    std::uint32_t header[4];
    if (data.size() < sizeof(header) + VK_UUID_SIZE)
        return false;
    std::memcpy(header, data.data(), sizeof(header));
    return header[0] >= sizeof(header) + VK_UUID_SIZE && header[0] <= data.size() &&
           header[1] == VK_PIPELINE_CACHE_HEADER_VERSION_ONE && header[2] == properties.vendorID &&
           header[3] == properties.deviceID &&
           std::memcmp(data.data() + sizeof(header), properties.pipelineCacheUUID, VK_UUID_SIZE) ==
               0;
}

std::vector<char> readFrame(const QString& path, const VkPhysicalDeviceProperties& properties)
{
    const QByteArray bytes = readFramed(path, tag, maxDataBytes);
    std::vector<char> data(bytes.begin(), bytes.end());
    return madeForDevice(data, properties) ? data : std::vector<char>();
}

QString hex(const std::uint8_t* bytes, int count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), count).toHex());
}

} // namespace

QString PipelineCache::path(const VkPhysicalDeviceProperties& properties)
{
    return compiledFolder() + QStringLiteral("/vulkan-%1-%2-%3.cache")
                                  .arg(properties.vendorID, 4, 16, QLatin1Char('0'))
                                  .arg(properties.deviceID, 4, 16, QLatin1Char('0'))
                                  .arg(hex(properties.pipelineCacheUUID, VK_UUID_SIZE));
}

PipelineCache::PipelineCache(VkDevice device, const VkPhysicalDeviceProperties& properties)
    : m_device(device), m_properties(properties)
{
    m_read = readFrame(path(properties), properties);
    VkPipelineCacheCreateInfo info{VK_STRUCTURE_TYPE_PIPELINE_CACHE_CREATE_INFO};
    info.initialDataSize = m_read.size();
    info.pInitialData = m_read.empty() ? nullptr : m_read.data();
    if (vkCreatePipelineCache(device, &info, nullptr, &m_cache) != VK_SUCCESS && !m_read.empty()) {
        // A driver may still refuse what it wrote itself: start empty.
        m_read.clear();
        info.initialDataSize = 0;
        info.pInitialData = nullptr;
        check(vkCreatePipelineCache(device, &info, nullptr, &m_cache), "vkCreatePipelineCache");
    } else if (m_cache == VK_NULL_HANDLE) {
        throw DeviceError("vkCreatePipelineCache");
    }
    m_reused = !m_read.empty();
}

PipelineCache::~PipelineCache()
{
    vkDestroyPipelineCache(m_device, m_cache, nullptr);
}

void PipelineCache::save() const
{
    size_t size = 0;
    if (vkGetPipelineCacheData(m_device, m_cache, &size, nullptr) != VK_SUCCESS || size == 0 ||
        qint64(size) > maxDataBytes || (m_reused && size <= m_read.size()))
        return;
    std::vector<char> data(size);
    if (vkGetPipelineCacheData(m_device, m_cache, &size, data.data()) != VK_SUCCESS)
        return;
    QString error;
    if (!writeFramed(path(m_properties), tag, QByteArray(data.data(), qsizetype(size)), &error))
        qCWarning(lcModel) << "cannot write the pipeline cache" << error;
}

} // namespace sr
