#include "VulkanNetwork.h"

#include "GpuFault.h"
#include "ModelPrivate.h"
#include "VulkanKernels.h"
#include "VulkanNetworkImpl.h"

#include <algorithm>
#include <mutex>

namespace sr {

namespace {

// A tile takes milliseconds on a GPU; a run that has not finished after this is stuck. A CPU
// device (tests, benchmarks only) is far slower.
constexpr std::uint64_t gpuTimeoutNs = 60'000'000'000;
constexpr std::uint64_t cpuDeviceTimeoutNs = 900'000'000'000;

} // namespace

VulkanNetwork::Impl::~Impl()
{
    if (!device || abandoned)
        return;
    for (Slot& slot : slots) {
        vkDestroyFence(device, slot.fence, nullptr);
        destroy(slot.input);
        destroy(slot.bytes);
    }
    vkDestroyFence(device, unsubmitted, nullptr);
    vkDestroyQueryPool(device, timestamps, nullptr);
    vkDestroyCommandPool(device, commandPool, nullptr);
    for (int k = 0; k < kernelCount; ++k) {
        vkDestroyPipeline(device, pipelines[k], nullptr);
        vkDestroyShaderModule(device, modules[k], nullptr);
    }
    cache.reset();
    vkDestroyDescriptorPool(device, pool, nullptr);
    vkDestroyPipelineLayout(device, pipelineLayout, nullptr);
    vkDestroyDescriptorSetLayout(device, setLayout, nullptr);
    for (Memory* m : {&activations, &constants, &parameters, &floatOutput})
        destroy(*m);
    vkDestroyDevice(device, nullptr);
}

void VulkanNetwork::Impl::bury(std::unique_ptr<Impl> impl)
{
    static std::mutex lock;
    static auto* graveyard = new std::vector<std::unique_ptr<Impl>>;
    std::lock_guard guard(lock);
    graveyard->push_back(std::move(impl));
}

void VulkanNetwork::setAside(std::unique_ptr<VulkanNetwork> network)
{
    static std::mutex lock;
    static auto* running = new std::vector<std::unique_ptr<Impl>>;
    std::lock_guard guard(lock);
    std::erase_if(*running, [](const std::unique_ptr<Impl>& impl) { return impl->idle(); });
    if (network && network->d)
        running->push_back(std::move(network->d));
}

void VulkanNetwork::Impl::createDevice()
{
    const float priority = 1.0f;
    VkDeviceQueueCreateInfo queueInfo{VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO};
    queueInfo.queueFamilyIndex = choice.queueFamily;
    queueInfo.queueCount = 1;
    queueInfo.pQueuePriorities = &priority;
    VkDeviceCreateInfo info{VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO};
    info.queueCreateInfoCount = 1;
    info.pQueueCreateInfos = &queueInfo;
    check(vkCreateDevice(choice.device, &info, nullptr, &device), "vkCreateDevice");
    vkGetDeviceQueue(device, choice.queueFamily, 0, &queue);
    timeoutNs = choice.properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_CPU ? cpuDeviceTimeoutNs
                                                                            : gpuTimeoutNs;

    VkCommandPoolCreateInfo poolInfo{VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO};
    poolInfo.flags = VK_COMMAND_POOL_CREATE_RESET_COMMAND_BUFFER_BIT; // tiles re-record theirs
    poolInfo.queueFamilyIndex = choice.queueFamily;
    check(vkCreateCommandPool(device, &poolInfo, nullptr, &commandPool), "vkCreateCommandPool");
    for (Slot& slot : slots) {
        VkFenceCreateInfo fenceInfo{VK_STRUCTURE_TYPE_FENCE_CREATE_INFO};
        check(vkCreateFence(device, &fenceInfo, nullptr, &slot.fence), "vkCreateFence");
    }
    if (choice.timestampBits) {
        VkQueryPoolCreateInfo queryInfo{VK_STRUCTURE_TYPE_QUERY_POOL_CREATE_INFO};
        queryInfo.queryType = VK_QUERY_TYPE_TIMESTAMP;
        queryInfo.queryCount = 2 * slotCount;
        check(vkCreateQueryPool(device, &queryInfo, nullptr, &timestamps), "vkCreateQueryPool");
    }
}

void VulkanNetwork::Impl::build(VulkanProgram&& from)
{
    program = std::move(from);
    createDevice();
    if (takeGpuFault(GpuFault::hostMemory))
        throw std::bad_alloc();
    createMemory();
    createDescriptors();
    createPipelines();
    upload();
    program.constants = {};
    program.constants.shrink_to_fit();
}

VulkanNetwork::VulkanNetwork(VulkanProgram program, const DeviceChoice& device)
    : d(std::make_unique<Impl>())
{
    d->choice = device;
    try {
        d->build(std::move(program));
    } catch (...) {
        if (d->abandoned)
            Impl::bury(std::move(d));
        throw;
    }
}

VulkanNetwork::~VulkanNetwork()
{
    if (d && (d->abandoned || !d->settle()))
        Impl::bury(std::move(d));
}

float* VulkanNetwork::input()
{
    return slotInput(0);
}

Shape VulkanNetwork::inputShape() const
{
    return d->program.inputShape;
}

Shape VulkanNetwork::outputShape() const
{
    return d->program.outputShape;
}

int VulkanNetwork::depth() const
{
    return Impl::slotCount;
}

double VulkanNetwork::multiplyAdds() const
{
    return d->program.multiplyAdds;
}

std::string VulkanNetwork::device() const
{
    return describe(d->choice.properties);
}

std::string VulkanNetwork::summary() const
{
    std::string text;
    for (int k = 0; k < kernelCount; ++k)
        if (d->kernelUses[k])
            text += (text.empty() ? "" : ", ") + std::to_string(d->kernelUses[k]) + " x " +
                    kernelCode(Kernel(k)).name;
    VkDeviceSize bytes = d->activations.size + d->constants.size + d->floatOutput.size;
    for (const Slot& slot : d->slots)
        bytes += slot.input.size + slot.bytes.size;
    return text + "; " + std::to_string(bytes >> 20) + " MiB on the device; pipelines " +
           (pipelinesReused() ? "from the cache" : "compiled");
}

double VulkanNetwork::deviceMs() const
{
    return d->lastDeviceMs;
}

std::uint64_t VulkanNetwork::memoryNeeded(const VulkanProgram& program)
{
    return answerBytesOffset(program) * 4 + answerBytes(program) + program.constants.size() * 4;
}

bool VulkanNetwork::pipelinesReused() const
{
    return d->cache->reused();
}

std::unique_ptr<Executor> loadOnGpu(const Graph& graph, bool anyType)
{
    const VulkanProgram program = translate(graph);
    for (const DeviceChoice& choice :
         candidateDevices(VulkanNetwork::memoryNeeded(program), anyType)) {
        try {
            return std::make_unique<VulkanNetwork>(program, choice);
        } catch (const DeviceError& error) {
            qCWarning(lcModel).noquote() << describe(choice.properties).c_str() << error.what();
        }
    }
    throw DeviceError("no Vulkan device can run the network");
}

} // namespace sr
