#include "VulkanNetwork.h"

#include "GpuFault.h"
#include "ModelPrivate.h"
#include "PipelineCache.h"
#include "VulkanKernels.h"
#include "VulkanProgram.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace sr {

namespace {

// A tile takes milliseconds on a GPU; a run that has not finished after this is stuck. A CPU
// device (tests, benchmarks only) is far slower.
constexpr std::uint64_t gpuTimeoutNs = 60'000'000'000;
constexpr std::uint64_t cpuDeviceTimeoutNs = 900'000'000'000;

struct Memory {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    void* mapped = nullptr;
    VkDeviceSize size = 0;
    bool coherent = true;
};

void barrier(VkCommandBuffer commands, VkPipelineStageFlags from, VkAccessFlags written,
             VkPipelineStageFlags to, VkAccessFlags used)
{
    VkMemoryBarrier b{VK_STRUCTURE_TYPE_MEMORY_BARRIER};
    b.srcAccessMask = written;
    b.dstAccessMask = used;
    vkCmdPipelineBarrier(commands, from, to, 0, 1, &b, 0, nullptr, 0, nullptr);
}

} // namespace

struct VulkanNetwork::Impl {
    DeviceChoice choice;
    VkDevice device = VK_NULL_HANDLE;
    VkQueue queue = VK_NULL_HANDLE;
    Memory activations, constants, parameters, inputStage, outputStage;
    VkDescriptorSetLayout setLayout = VK_NULL_HANDLE;
    VkPipelineLayout pipelineLayout = VK_NULL_HANDLE;
    VkDescriptorPool pool = VK_NULL_HANDLE;
    VkDescriptorSet set = VK_NULL_HANDLE;
    std::unique_ptr<PipelineCache> cache;
    VkShaderModule modules[kernelCount] = {};
    VkPipeline pipelines[kernelCount] = {};
    VkCommandPool commandPool = VK_NULL_HANDLE;
    VkCommandBuffer commands = VK_NULL_HANDLE;
    VkFence fence = VK_NULL_HANDLE;
    std::uint64_t timeoutNs = gpuTimeoutNs;

    std::vector<Dispatch> dispatches;
    std::uint64_t inputOffset = 0, outputOffset = 0;
    Shape inputShape{}, outputShape{};
    double multiplyAdds = 0;
    int kernelUses[kernelCount] = {};
    bool broken = false;    // a run failed: the network never runs again
    bool abandoned = false; // the device may still be working on our memory: never free it

    ~Impl();
    // Keeps the memory for the life of the process when the device may still write into it.
    static void bury(std::unique_ptr<Impl> impl);
    void build(const VulkanProgram& program);
    void createDevice();
    Memory createBuffer(VkDeviceSize size, VkBufferUsageFlags usage,
                        std::initializer_list<VkMemoryPropertyFlags> wanted);
    void destroy(Memory& m);
    void createDescriptors();
    void createPipelines();
    void upload(const VulkanProgram& program);
    void record();
    void submitAndWait(VkCommandBuffer buffer);
};

VulkanNetwork::Impl::~Impl()
{
    if (!device || abandoned)
        return;
    vkDeviceWaitIdle(device); // a lost device answers at once
    vkDestroyFence(device, fence, nullptr);
    vkDestroyCommandPool(device, commandPool, nullptr);
    for (int k = 0; k < kernelCount; ++k) {
        vkDestroyPipeline(device, pipelines[k], nullptr);
        vkDestroyShaderModule(device, modules[k], nullptr);
    }
    cache.reset();
    vkDestroyDescriptorPool(device, pool, nullptr);
    vkDestroyPipelineLayout(device, pipelineLayout, nullptr);
    vkDestroyDescriptorSetLayout(device, setLayout, nullptr);
    for (Memory* m : {&activations, &constants, &parameters, &inputStage, &outputStage})
        destroy(*m);
    vkDestroyDevice(device, nullptr);
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
}

// A buffer in the first memory type that has every property of one of `wanted`, in order.
Memory VulkanNetwork::Impl::createBuffer(VkDeviceSize size, VkBufferUsageFlags usage,
                                         std::initializer_list<VkMemoryPropertyFlags> wanted)
{
    Memory m;
    m.size = std::max<VkDeviceSize>(size, 16);
    VkBufferCreateInfo info{VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO};
    info.size = m.size;
    info.usage = usage;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    try {
        check(vkCreateBuffer(device, &info, nullptr, &m.buffer), "vkCreateBuffer");
        VkMemoryRequirements needs;
        vkGetBufferMemoryRequirements(device, m.buffer, &needs);
        VkPhysicalDeviceMemoryProperties memory;
        vkGetPhysicalDeviceMemoryProperties(choice.device, &memory);
        std::uint32_t type = UINT32_MAX;
        for (const VkMemoryPropertyFlags flags : wanted)
            for (std::uint32_t i = 0; i < memory.memoryTypeCount && type == UINT32_MAX; ++i)
                if ((needs.memoryTypeBits & (1u << i)) &&
                    (memory.memoryTypes[i].propertyFlags & flags) == flags)
                    type = i;
        if (type == UINT32_MAX)
            throw DeviceError("no memory type for a buffer");
        const VkMemoryPropertyFlags flags = memory.memoryTypes[type].propertyFlags;
        VkMemoryAllocateInfo allocation{VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO};
        allocation.allocationSize = needs.size;
        allocation.memoryTypeIndex = type;
        check(vkAllocateMemory(device, &allocation, nullptr, &m.memory), "vkAllocateMemory");
        check(vkBindBufferMemory(device, m.buffer, m.memory, 0), "vkBindBufferMemory");
        m.coherent = flags & VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;
        if (flags & VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT)
            check(vkMapMemory(device, m.memory, 0, VK_WHOLE_SIZE, 0, &m.mapped), "vkMapMemory");
    } catch (...) {
        destroy(m);
        throw;
    }
    return m;
}

void VulkanNetwork::Impl::destroy(Memory& m)
{
    vkDestroyBuffer(device, m.buffer, nullptr);
    vkFreeMemory(device, m.memory, nullptr); // unmaps
    m = Memory{};
}

void VulkanNetwork::Impl::createDescriptors()
{
    VkDescriptorSetLayoutBinding bindings[3];
    for (std::uint32_t b = 0; b < 3; ++b)
        bindings[b] = {b, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, VK_SHADER_STAGE_COMPUTE_BIT,
                       nullptr};
    VkDescriptorSetLayoutCreateInfo layoutInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO};
    layoutInfo.bindingCount = 3;
    layoutInfo.pBindings = bindings;
    check(vkCreateDescriptorSetLayout(device, &layoutInfo, nullptr, &setLayout),
          "vkCreateDescriptorSetLayout");
    const VkPushConstantRange push{VK_SHADER_STAGE_COMPUTE_BIT, 0, sizeof(std::int32_t)};
    VkPipelineLayoutCreateInfo pipelineInfo{VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO};
    pipelineInfo.setLayoutCount = 1;
    pipelineInfo.pSetLayouts = &setLayout;
    pipelineInfo.pushConstantRangeCount = 1;
    pipelineInfo.pPushConstantRanges = &push;
    check(vkCreatePipelineLayout(device, &pipelineInfo, nullptr, &pipelineLayout),
          "vkCreatePipelineLayout");
    const VkDescriptorPoolSize size{VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 3};
    VkDescriptorPoolCreateInfo poolInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO};
    poolInfo.maxSets = 1;
    poolInfo.poolSizeCount = 1;
    poolInfo.pPoolSizes = &size;
    check(vkCreateDescriptorPool(device, &poolInfo, nullptr, &pool), "vkCreateDescriptorPool");
    VkDescriptorSetAllocateInfo setInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO};
    setInfo.descriptorPool = pool;
    setInfo.descriptorSetCount = 1;
    setInfo.pSetLayouts = &setLayout;
    check(vkAllocateDescriptorSets(device, &setInfo, &set), "vkAllocateDescriptorSets");
    VkDescriptorBufferInfo buffers[3] = {{activations.buffer, 0, VK_WHOLE_SIZE},
                                         {constants.buffer, 0, VK_WHOLE_SIZE},
                                         {parameters.buffer, 0, VK_WHOLE_SIZE}};
    VkWriteDescriptorSet writes[3];
    for (std::uint32_t b = 0; b < 3; ++b) {
        writes[b] = {VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET};
        writes[b].dstSet = set;
        writes[b].dstBinding = b;
        writes[b].descriptorCount = 1;
        writes[b].descriptorType = VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
        writes[b].pBufferInfo = &buffers[b];
    }
    vkUpdateDescriptorSets(device, 3, writes, 0, nullptr);
}

void VulkanNetwork::Impl::createPipelines()
{
    const bool conv3x3 = conv3x3Fits(choice.properties.limits);
    for (Dispatch& dispatch : dispatches) {
        if (dispatch.kernel == Kernel::conv3x3 && !conv3x3)
            dispatch.kernel = Kernel::conv;
        ++kernelUses[int(dispatch.kernel)];
    }
    cache = std::make_unique<PipelineCache>(device, choice.properties);
    for (int k = 0; k < kernelCount; ++k) {
        if (!kernelUses[k])
            continue;
        VkShaderModuleCreateInfo moduleInfo{VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO};
        moduleInfo.codeSize = kernelCode(Kernel(k)).bytes;
        moduleInfo.pCode = kernelCode(Kernel(k)).words;
        check(vkCreateShaderModule(device, &moduleInfo, nullptr, &modules[k]),
              "vkCreateShaderModule");
        VkComputePipelineCreateInfo info{VK_STRUCTURE_TYPE_COMPUTE_PIPELINE_CREATE_INFO};
        info.stage = {VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO};
        info.stage.stage = VK_SHADER_STAGE_COMPUTE_BIT;
        info.stage.module = modules[k];
        info.stage.pName = "main";
        info.layout = pipelineLayout;
        const VkResult result = takeGpuFault(GpuFault::pipeline)
                                    ? VK_ERROR_INITIALIZATION_FAILED
                                    : vkCreateComputePipelines(device, cache->handle(), 1, &info,
                                                               nullptr, &pipelines[k]);
        check(result, "vkCreateComputePipelines");
    }
    cache->save();
}

void VulkanNetwork::Impl::submitAndWait(VkCommandBuffer buffer)
{
    check(vkResetFences(device, 1, &fence), "vkResetFences");
    VkSubmitInfo submit{VK_STRUCTURE_TYPE_SUBMIT_INFO};
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &buffer;
    VkResult result = takeGpuFault(GpuFault::deviceLost) ? VK_ERROR_DEVICE_LOST
                      : takeGpuFault(GpuFault::outOfMemory)
                          ? VK_ERROR_OUT_OF_DEVICE_MEMORY
                          : vkQueueSubmit(queue, 1, &submit, fence);
    if (result != VK_SUCCESS) {
        broken = true;
        throw DeviceError("vkQueueSubmit", result);
    }
    const std::uint64_t timeout = takeGpuFault(GpuFault::timeout) ? 0 : timeoutNs;
    result = vkWaitForFences(device, 1, &fence, VK_TRUE, timeout);
    if (result != VK_SUCCESS) {
        broken = true;
        abandoned = result == VK_TIMEOUT;
        throw DeviceError(abandoned ? "the device did not finish in time" : "vkWaitForFences",
                          result);
    }
}

// Weights and parameters through a staging buffer; activations zeroed so padding starts clean.
void VulkanNetwork::Impl::upload(const VulkanProgram& program)
{
    const VkDeviceSize constantBytes = program.constants.size() * sizeof(float);
    const VkDeviceSize parameterBytes = program.parameters.size() * sizeof(std::int32_t);
    Memory stage =
        createBuffer(constantBytes + parameterBytes, VK_BUFFER_USAGE_TRANSFER_SRC_BIT,
                     {VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT});
    struct Release {
        Impl* self;
        Memory* m;
        ~Release() { self->destroy(*m); }
    } release{this, &stage};
    std::memcpy(stage.mapped, program.constants.data(), constantBytes);
    std::memcpy(static_cast<char*>(stage.mapped) + constantBytes, program.parameters.data(),
                parameterBytes);

    VkCommandBufferAllocateInfo allocation{VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO};
    allocation.commandPool = commandPool;
    allocation.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    allocation.commandBufferCount = 1;
    VkCommandBuffer once = VK_NULL_HANDLE;
    check(vkAllocateCommandBuffers(device, &allocation, &once), "vkAllocateCommandBuffers");
    VkCommandBufferBeginInfo begin{VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO};
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    vkBeginCommandBuffer(once, &begin);
    const VkBufferCopy toConstants{0, 0, constantBytes};
    const VkBufferCopy toParameters{constantBytes, 0, parameterBytes};
    vkCmdCopyBuffer(once, stage.buffer, constants.buffer, 1, &toConstants);
    vkCmdCopyBuffer(once, stage.buffer, parameters.buffer, 1, &toParameters);
    vkCmdFillBuffer(once, activations.buffer, 0, VK_WHOLE_SIZE, 0);
    check(vkEndCommandBuffer(once), "vkEndCommandBuffer");
    submitAndWait(once);
    vkFreeCommandBuffers(device, commandPool, 1, &once);
}

// The whole graph in one command buffer: input in, every step with a barrier after it, output out.
void VulkanNetwork::Impl::record()
{
    constexpr auto compute = VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT;
    constexpr auto transfer = VK_PIPELINE_STAGE_TRANSFER_BIT;
    constexpr auto readWrite = VK_ACCESS_SHADER_READ_BIT | VK_ACCESS_SHADER_WRITE_BIT;
    VkCommandBufferBeginInfo begin{VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO};
    check(vkBeginCommandBuffer(commands, &begin), "vkBeginCommandBuffer");
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipelineLayout, 0, 1, &set, 0,
                            nullptr);
    const VkBufferCopy in{0, inputOffset * 4, inputStage.size};
    vkCmdCopyBuffer(commands, inputStage.buffer, activations.buffer, 1, &in);
    barrier(commands, transfer, VK_ACCESS_TRANSFER_WRITE_BIT, compute, readWrite);
    Kernel bound = Kernel(-1);
    for (const Dispatch& d : dispatches) {
        if (d.kernel != bound)
            vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipelines[int(d.kernel)]);
        bound = d.kernel;
        vkCmdPushConstants(commands, pipelineLayout, VK_SHADER_STAGE_COMPUTE_BIT, 0,
                           sizeof(std::int32_t), &d.base);
        const auto groups = workGroups(d);
        vkCmdDispatch(commands, groups[0], groups[1], groups[2]);
        barrier(commands, compute, VK_ACCESS_SHADER_WRITE_BIT, compute | transfer,
                readWrite | VK_ACCESS_TRANSFER_READ_BIT);
    }
    const VkBufferCopy out{outputOffset * 4, 0, outputStage.size};
    vkCmdCopyBuffer(commands, activations.buffer, outputStage.buffer, 1, &out);
    barrier(commands, transfer, VK_ACCESS_TRANSFER_WRITE_BIT, VK_PIPELINE_STAGE_HOST_BIT,
            VK_ACCESS_HOST_READ_BIT);
    check(vkEndCommandBuffer(commands), "vkEndCommandBuffer");
}

VulkanNetwork::VulkanNetwork(const VulkanProgram& program, const DeviceChoice& device)
    : d(std::make_unique<Impl>())
{
    d->choice = device;
    try {
        d->build(program);
    } catch (...) {
        if (d->abandoned)
            Impl::bury(std::move(d));
        throw;
    }
}

void VulkanNetwork::Impl::build(const VulkanProgram& program)
{
    dispatches = program.dispatches;
    inputOffset = program.inputOffset;
    outputOffset = program.outputOffset;
    inputShape = program.inputShape;
    outputShape = program.outputShape;
    multiplyAdds = program.multiplyAdds;
    const VkDeviceSize constantBytes = program.constants.size() * sizeof(float);
    const std::uint32_t range = choice.properties.limits.maxStorageBufferRange;
    if (program.activationBytes > range || constantBytes > range)
        throw DeviceError("the network's values exceed the device's buffer range");

    createDevice();
    constexpr auto storage = VK_BUFFER_USAGE_STORAGE_BUFFER_BIT;
    constexpr auto src = VK_BUFFER_USAGE_TRANSFER_SRC_BIT;
    constexpr auto dst = VK_BUFFER_USAGE_TRANSFER_DST_BIT;
    constexpr auto local = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
    constexpr auto visible = VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT;
    constexpr auto coherent = VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;
    constexpr auto cached = VK_MEMORY_PROPERTY_HOST_CACHED_BIT;
    activations = createBuffer(program.activationBytes, storage | src | dst, {local, 0});
    constants = createBuffer(constantBytes, storage | dst, {local, 0});
    parameters =
        createBuffer(program.parameters.size() * sizeof(std::int32_t), storage | dst, {local, 0});
    const auto elements = [](const Shape& s) { return s[0] * s[1] * s[2] * s[3]; };
    inputStage =
        createBuffer(VkDeviceSize(elements(program.inputShape)) * 4, src, {visible | coherent});
    // Read back by the CPU: cached memory reads many times faster than write-combined.
    outputStage = createBuffer(VkDeviceSize(elements(program.outputShape)) * 4, dst,
                               {visible | cached | coherent, visible | cached, visible});
    createDescriptors();
    createPipelines();

    VkCommandPoolCreateInfo poolInfo{VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO};
    poolInfo.queueFamilyIndex = choice.queueFamily;
    check(vkCreateCommandPool(device, &poolInfo, nullptr, &commandPool), "vkCreateCommandPool");
    VkFenceCreateInfo fenceInfo{VK_STRUCTURE_TYPE_FENCE_CREATE_INFO};
    check(vkCreateFence(device, &fenceInfo, nullptr, &fence), "vkCreateFence");
    upload(program);
    VkCommandBufferAllocateInfo allocation{VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO};
    allocation.commandPool = commandPool;
    allocation.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    allocation.commandBufferCount = 1;
    check(vkAllocateCommandBuffers(device, &allocation, &commands), "vkAllocateCommandBuffers");
    record();
}

void VulkanNetwork::Impl::bury(std::unique_ptr<Impl> impl)
{
    static std::mutex lock;
    static auto* graveyard = new std::vector<std::unique_ptr<Impl>>;
    std::lock_guard guard(lock);
    graveyard->push_back(std::move(impl));
}

VulkanNetwork::~VulkanNetwork()
{
    if (d && d->abandoned)
        Impl::bury(std::move(d));
}

float* VulkanNetwork::input()
{
    return static_cast<float*>(d->inputStage.mapped);
}

Shape VulkanNetwork::inputShape() const
{
    return d->inputShape;
}

const float* VulkanNetwork::run()
{
    if (d->broken)
        throw DeviceError("the device failed earlier");
    d->submitAndWait(d->commands);
    if (!d->outputStage.coherent) {
        const VkMappedMemoryRange range{VK_STRUCTURE_TYPE_MAPPED_MEMORY_RANGE, nullptr,
                                        d->outputStage.memory, 0, VK_WHOLE_SIZE};
        check(vkInvalidateMappedMemoryRanges(d->device, 1, &range),
              "vkInvalidateMappedMemoryRanges");
    }
    return static_cast<const float*>(d->outputStage.mapped);
}

Shape VulkanNetwork::outputShape() const
{
    return d->outputShape;
}

double VulkanNetwork::multiplyAdds() const
{
    return d->multiplyAdds;
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
    const VkDeviceSize bytes =
        d->activations.size + d->constants.size + d->inputStage.size + d->outputStage.size;
    return text + "; " + std::to_string(bytes >> 20) + " MiB on the device; pipelines " +
           (pipelinesReused() ? "from the cache" : "compiled");
}

bool VulkanNetwork::pipelinesReused() const
{
    return d->cache->reused();
}

std::unique_ptr<Executor> loadOnGpu(const Graph& graph, bool anyType)
{
    const VulkanProgram program = translate(graph);
    const std::uint64_t bytes = program.activationBytes + program.constants.size() * 4;
    for (const DeviceChoice& choice : candidateDevices(bytes, anyType)) {
        try {
            return std::make_unique<VulkanNetwork>(program, choice);
        } catch (const DeviceError& error) {
            qCWarning(lcModel).noquote() << describe(choice.properties).c_str() << error.what();
        }
    }
    throw DeviceError("no Vulkan device can run the network");
}

} // namespace sr
