#include "KernelStatistics.h"

#include "VulkanKernels.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

namespace sr {

namespace {

// Lists may be cut short (VK_INCOMPLETE): what came is still good.
void checkListed(VkResult result, const char* call)
{
    if (result != VK_INCOMPLETE)
        check(result, call);
}

std::string text(const VkPipelineExecutableStatisticKHR& statistic)
{
    char value[32];
    switch (statistic.format) {
    case VK_PIPELINE_EXECUTABLE_STATISTIC_FORMAT_BOOL32_KHR:
        return statistic.value.b32 ? "yes" : "no";
    case VK_PIPELINE_EXECUTABLE_STATISTIC_FORMAT_INT64_KHR:
        std::snprintf(value, sizeof(value), "%lld", (long long)statistic.value.i64);
        break;
    case VK_PIPELINE_EXECUTABLE_STATISTIC_FORMAT_UINT64_KHR:
        std::snprintf(value, sizeof(value), "%llu", (unsigned long long)statistic.value.u64);
        break;
    default:
        std::snprintf(value, sizeof(value), "%g", statistic.value.f64);
        break;
    }
    return value;
}

bool containsAssembly(const char* name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower.find("assembly") != std::string::npos;
}

// Fused single-precision multiply-adds in AMD's instruction sets (GCN, RDNA, CDNA); the older
// v_mad and v_mac round twice and do not count.
bool isFma(const std::string& mnemonic)
{
    for (const char* fma : {"v_fma_f32", "v_fmac_f32", "v_fmamk_f32", "v_fmaak_f32", "v_pk_fma_f32",
                            "v_dual_fmac_f32"})
        if (mnemonic.rfind(fma, 0) == 0)
            return true;
    return false;
}

// A device of its own with the extension enabled; the network's never has it.
class StatisticsDevice {
public:
    explicit StatisticsDevice(const DeviceChoice& choice);
    ~StatisticsDevice();
    StatisticsDevice(const StatisticsDevice&) = delete;
    StatisticsDevice& operator=(const StatisticsDevice&) = delete;

    KernelStatistics compile(Kernel kernel) const;

private:
    std::vector<std::pair<std::string, std::string>>
    values(const VkPipelineExecutableInfoKHR& executable) const;
    std::string assembly(const VkPipelineExecutableInfoKHR& executable) const;

    VkDevice m_device = VK_NULL_HANDLE;
    KernelLayout m_layout;
    PFN_vkGetPipelineExecutablePropertiesKHR m_properties = nullptr;
    PFN_vkGetPipelineExecutableStatisticsKHR m_statistics = nullptr;
    PFN_vkGetPipelineExecutableInternalRepresentationsKHR m_representations = nullptr;
};

StatisticsDevice::StatisticsDevice(const DeviceChoice& choice)
{
    VkPhysicalDevicePipelineExecutablePropertiesFeaturesKHR feature{
        VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PIPELINE_EXECUTABLE_PROPERTIES_FEATURES_KHR};
    feature.pipelineExecutableInfo = VK_TRUE;
    const float priority = 1.0f;
    VkDeviceQueueCreateInfo queue{VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO};
    queue.queueFamilyIndex = choice.queueFamily;
    queue.queueCount = 1;
    queue.pQueuePriorities = &priority;
    const char* extension = VK_KHR_PIPELINE_EXECUTABLE_PROPERTIES_EXTENSION_NAME;
    VkDeviceCreateInfo info{VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO};
    info.pNext = &feature;
    info.queueCreateInfoCount = 1;
    info.pQueueCreateInfos = &queue;
    info.enabledExtensionCount = 1;
    info.ppEnabledExtensionNames = &extension;
    check(vkCreateDevice(choice.device, &info, nullptr, &m_device), "vkCreateDevice");
    m_properties = PFN_vkGetPipelineExecutablePropertiesKHR(
        vkGetDeviceProcAddr(m_device, "vkGetPipelineExecutablePropertiesKHR"));
    m_statistics = PFN_vkGetPipelineExecutableStatisticsKHR(
        vkGetDeviceProcAddr(m_device, "vkGetPipelineExecutableStatisticsKHR"));
    m_representations = PFN_vkGetPipelineExecutableInternalRepresentationsKHR(
        vkGetDeviceProcAddr(m_device, "vkGetPipelineExecutableInternalRepresentationsKHR"));
    try {
        if (!m_properties || !m_statistics || !m_representations)
            throw DeviceError("the driver lists pipeline statistics but has no functions for them");
        m_layout = createKernelLayout(m_device);
    } catch (...) {
        destroyKernelLayout(m_device, m_layout);
        vkDestroyDevice(m_device, nullptr);
        throw;
    }
}

StatisticsDevice::~StatisticsDevice()
{
    destroyKernelLayout(m_device, m_layout);
    vkDestroyDevice(m_device, nullptr);
}

KernelStatistics StatisticsDevice::compile(Kernel kernel) const
{
    const KernelCode& code = kernelCode(kernel);
    VkShaderModuleCreateInfo moduleInfo{VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO};
    moduleInfo.codeSize = code.bytes;
    moduleInfo.pCode = code.words;
    VkShaderModule module = VK_NULL_HANDLE;
    check(vkCreateShaderModule(m_device, &moduleInfo, nullptr, &module), "vkCreateShaderModule");
    VkComputePipelineCreateInfo info{VK_STRUCTURE_TYPE_COMPUTE_PIPELINE_CREATE_INFO};
    info.flags = VK_PIPELINE_CREATE_CAPTURE_STATISTICS_BIT_KHR |
                 VK_PIPELINE_CREATE_CAPTURE_INTERNAL_REPRESENTATIONS_BIT_KHR;
    info.stage = {VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO};
    info.stage.stage = VK_SHADER_STAGE_COMPUTE_BIT;
    info.stage.module = module;
    info.stage.pName = "main";
    info.layout = m_layout.pipeline;
    VkPipeline pipeline = VK_NULL_HANDLE;
    const VkResult made =
        vkCreateComputePipelines(m_device, VK_NULL_HANDLE, 1, &info, nullptr, &pipeline);
    vkDestroyShaderModule(m_device, module, nullptr);
    check(made, "vkCreateComputePipelines");

    struct Owned {
        VkDevice device;
        VkPipeline pipeline;
        ~Owned() { vkDestroyPipeline(device, pipeline, nullptr); }
    } const owned{m_device, pipeline};

    // A compute pipeline has one executable: its one shader.
    KernelStatistics result;
    result.kernel = code.name;
    VkPipelineInfoKHR pipelineInfo{VK_STRUCTURE_TYPE_PIPELINE_INFO_KHR};
    pipelineInfo.pipeline = pipeline;
    std::uint32_t count = 1;
    VkPipelineExecutablePropertiesKHR properties{
        VK_STRUCTURE_TYPE_PIPELINE_EXECUTABLE_PROPERTIES_KHR};
    checkListed(m_properties(m_device, &pipelineInfo, &count, &properties),
                "vkGetPipelineExecutablePropertiesKHR");
    if (count) {
        VkPipelineExecutableInfoKHR executable{VK_STRUCTURE_TYPE_PIPELINE_EXECUTABLE_INFO_KHR};
        executable.pipeline = pipeline;
        result.subgroupSize = properties.subgroupSize;
        result.values = values(executable);
        result.hottest = hottestBlock(assembly(executable));
    }
    return result;
}

std::vector<std::pair<std::string, std::string>>
StatisticsDevice::values(const VkPipelineExecutableInfoKHR& executable) const
{
    std::uint32_t count = 0;
    check(m_statistics(m_device, &executable, &count, nullptr),
          "vkGetPipelineExecutableStatisticsKHR");
    std::vector<VkPipelineExecutableStatisticKHR> statistics(
        count, {VK_STRUCTURE_TYPE_PIPELINE_EXECUTABLE_STATISTIC_KHR});
    checkListed(m_statistics(m_device, &executable, &count, statistics.data()),
                "vkGetPipelineExecutableStatisticsKHR");
    std::vector<std::pair<std::string, std::string>> result;
    for (std::uint32_t i = 0; i < count; ++i)
        result.emplace_back(statistics[i].name, text(statistics[i]));
    return result;
}

// The machine code as text, where the driver gives it; empty otherwise.
std::string StatisticsDevice::assembly(const VkPipelineExecutableInfoKHR& executable) const
{
    std::uint32_t count = 0;
    check(m_representations(m_device, &executable, &count, nullptr),
          "vkGetPipelineExecutableInternalRepresentationsKHR");
    std::vector<VkPipelineExecutableInternalRepresentationKHR> representations(
        count, {VK_STRUCTURE_TYPE_PIPELINE_EXECUTABLE_INTERNAL_REPRESENTATION_KHR});
    checkListed(m_representations(m_device, &executable, &count, representations.data()),
                "vkGetPipelineExecutableInternalRepresentationsKHR");
    std::vector<std::string> texts(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        texts[i].resize(representations[i].dataSize);
        representations[i].pData = texts[i].data();
    }
    checkListed(m_representations(m_device, &executable, &count, representations.data()),
                "vkGetPipelineExecutableInternalRepresentationsKHR");
    for (std::uint32_t i = 0; i < count; ++i)
        if (representations[i].isText && containsAssembly(representations[i].name))
            return texts[i].c_str(); // without the terminating zero
    return {};
}

} // namespace

std::vector<KernelStatistics> kernelStatistics(const DeviceChoice& device)
{
    if (!hasExtension(device.device, VK_KHR_PIPELINE_EXECUTABLE_PROPERTIES_EXTENSION_NAME))
        return {};
    const StatisticsDevice statisticsDevice(device);
    std::vector<KernelStatistics> result;
    for (int k = 0; k < kernelCount; ++k)
        result.push_back(statisticsDevice.compile(Kernel(k)));
    return result;
}

std::optional<HotBlock> hottestBlock(const std::string& assembly)
{
    std::optional<HotBlock> hottest;
    HotBlock block;
    const auto close = [&] {
        if (block.vectorInstructions && (!hottest || block.fmas > hottest->fmas ||
                                         (block.fmas == hottest->fmas &&
                                          block.vectorInstructions > hottest->vectorInstructions)))
            hottest = block;
        block = {};
    };
    std::istringstream lines(assembly);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("BB", 0) == 0 && line.find(':') != std::string::npos) {
            close();
            continue;
        }
        if (line.empty() || !std::isspace((unsigned char)line[0]))
            continue;
        std::string mnemonic;
        std::istringstream(line) >> mnemonic;
        if (mnemonic.rfind("v_", 0) == 0) {
            ++block.vectorInstructions;
            block.fmas += isFma(mnemonic);
        }
    }
    close();
    return hottest;
}

} // namespace sr
