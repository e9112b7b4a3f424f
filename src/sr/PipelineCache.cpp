#include "PipelineCache.h"

#include "ModelPrivate.h"
#include "Vulkan.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <cstring>

namespace sr {

namespace {

// Our own frame around the driver's data: a tag, the data's size and a checksum, so that a
// truncated or altered file is never handed to a driver (not every driver checks).
constexpr char tag[8] = {'T', 'L', 'V', 'P', 'C', 'A', 'C', '1'};
constexpr qint64 frameBytes = sizeof(tag) + 2 * sizeof(std::uint64_t);
// Far above what two networks' pipelines take.
constexpr qint64 maxFileBytes = qint64(64) << 20;

std::uint64_t checksum(const char* data, size_t size)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ std::uint8_t(data[i])) * 1099511628211ull;
    return hash;
}

// The driver's header: length, version, vendor, device and the driver's cache UUID.
bool madeForDevice(const std::vector<char>& data, const VkPhysicalDeviceProperties& properties)
{
    std::uint32_t header[4];
    if (data.size() < sizeof(header) + VK_UUID_SIZE)
        return false;
    std::memcpy(header, data.data(), sizeof(header));
    return header[0] >= sizeof(header) + VK_UUID_SIZE && header[0] <= data.size() &&
           header[1] == VK_PIPELINE_CACHE_HEADER_VERSION_ONE &&
           header[2] == properties.vendorID && header[3] == properties.deviceID &&
           std::memcmp(data.data() + sizeof(header), properties.pipelineCacheUUID,
                       VK_UUID_SIZE) == 0;
}

std::vector<char> readFrame(const QString& path, const VkPhysicalDeviceProperties& properties)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileBytes || file.size() < frameBytes)
        return {};
    const QByteArray bytes = file.readAll();
    std::uint64_t size = 0, sum = 0;
    std::memcpy(&size, bytes.constData() + sizeof(tag), sizeof(size));
    std::memcpy(&sum, bytes.constData() + sizeof(tag) + sizeof(size), sizeof(sum));
    if (std::memcmp(bytes.constData(), tag, sizeof(tag)) != 0 ||
        size != std::uint64_t(bytes.size() - frameBytes))
        return {};
    std::vector<char> data(bytes.constData() + frameBytes, bytes.constData() + bytes.size());
    if (checksum(data.data(), data.size()) != sum || !madeForDevice(data, properties))
        return {};
    return data;
}

QString hex(const std::uint8_t* bytes, int count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), count).toHex());
}

} // namespace

QString PipelineCache::path(const VkPhysicalDeviceProperties& properties)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tolvane/Compiled/vulkan-%1-%2-%3.cache")
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
        qint64(size) > maxFileBytes - frameBytes || (m_reused && size <= m_read.size()))
        return;
    std::vector<char> data(size);
    if (vkGetPipelineCacheData(m_device, m_cache, &size, data.data()) != VK_SUCCESS)
        return;
    data.resize(size);
    const QString file = path(m_properties);
    QDir().mkpath(QFileInfo(file).path());
    QSaveFile out(file);
    const std::uint64_t length = data.size(), sum = checksum(data.data(), data.size());
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(tag, sizeof(tag)) != qint64(sizeof(tag)) ||
        out.write(reinterpret_cast<const char*>(&length), sizeof(length)) != sizeof(length) ||
        out.write(reinterpret_cast<const char*>(&sum), sizeof(sum)) != sizeof(sum) ||
        out.write(data.data(), qint64(data.size())) != qint64(data.size()) || !out.commit())
        qCWarning(lcModel) << "cannot write the pipeline cache" << out.errorString();
}

} // namespace sr
