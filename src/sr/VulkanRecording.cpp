#include "GpuFault.h"
#include "VulkanKernels.h"
#include "VulkanNetworkImpl.h"

#include <algorithm>

namespace sr {

namespace {

constexpr auto computeStage = VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT;
constexpr auto transferStage = VK_PIPELINE_STAGE_TRANSFER_BIT;
constexpr auto shaderAccess = VK_ACCESS_SHADER_READ_BIT | VK_ACCESS_SHADER_WRITE_BIT;
constexpr auto transferAccess = VK_ACCESS_TRANSFER_READ_BIT | VK_ACCESS_TRANSFER_WRITE_BIT;

void barrier(VkCommandBuffer commands, VkPipelineStageFlags from, VkAccessFlags written,
             VkPipelineStageFlags to, VkAccessFlags used)
{
    VkMemoryBarrier b{VK_STRUCTURE_TYPE_MEMORY_BARRIER};
    b.srcAccessMask = written;
    b.dstAccessMask = used;
    vkCmdPipelineBarrier(commands, from, to, 0, 1, &b, 0, nullptr, 0, nullptr);
}

} // namespace

void VulkanNetwork::Impl::createDescriptors()
{
    const KernelLayout layout = createKernelLayout(device);
    setLayout = layout.set;
    pipelineLayout = layout.pipeline;
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
    for (Dispatch& dispatch : program.dispatches) {
        if (dispatch.kernel == Kernel::conv3x3 && !conv3x3)
            dispatch.kernel = Kernel::conv;
        ++kernelUses[int(dispatch.kernel)];
    }
    ++kernelUses[int(Kernel::toBytes)];
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
    // The tiles' own kernel is counted apart from the program's.
    --kernelUses[int(Kernel::toBytes)];
    cache->save();
}

VkCommandBuffer VulkanNetwork::Impl::allocateCommands()
{
    VkCommandBufferAllocateInfo allocation{VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO};
    allocation.commandPool = commandPool;
    allocation.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    allocation.commandBufferCount = 1;
    VkCommandBuffer commands = VK_NULL_HANDLE;
    check(vkAllocateCommandBuffers(device, &allocation, &commands), "vkAllocateCommandBuffers");
    return commands;
}

// Runs of either slot share the values: each starts after everything submitted before it.
template <typename Finish>
void VulkanNetwork::Impl::record(VkCommandBuffer commands, const Slot& slot, size_t steps,
                                 Finish finish)
{
    const std::uint32_t query = std::uint32_t(&slot - slots) * 2;
    check(vkResetCommandBuffer(commands, 0), "vkResetCommandBuffer");
    VkCommandBufferBeginInfo begin{VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO};
    check(vkBeginCommandBuffer(commands, &begin), "vkBeginCommandBuffer");
    if (timestamps) {
        vkCmdResetQueryPool(commands, timestamps, query, 2);
        vkCmdWriteTimestamp(commands, VK_PIPELINE_STAGE_TOP_OF_PIPE_BIT, timestamps, query);
    }
    barrier(commands, computeStage | transferStage,
            VK_ACCESS_SHADER_WRITE_BIT | VK_ACCESS_TRANSFER_WRITE_BIT, computeStage | transferStage,
            shaderAccess | transferAccess);
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipelineLayout, 0, 1, &set, 0,
                            nullptr);
    const VkBufferCopy in{0, program.inputOffset * 4, slot.input.size};
    vkCmdCopyBuffer(commands, slot.input.buffer, activations.buffer, 1, &in);
    barrier(commands, transferStage, VK_ACCESS_TRANSFER_WRITE_BIT, computeStage, shaderAccess);
    Kernel bound = Kernel(-1);
    for (size_t i = 0; i < steps; ++i) {
        const Dispatch& d = program.dispatches[i];
        if (d.kernel != bound)
            vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipelines[int(d.kernel)]);
        bound = d.kernel;
        vkCmdPushConstants(commands, pipelineLayout, VK_SHADER_STAGE_COMPUTE_BIT, 0,
                           sizeof(std::int32_t), &d.base);
        const auto groups = workGroups(d);
        vkCmdDispatch(commands, groups[0], groups[1], groups[2]);
        barrier(commands, computeStage, VK_ACCESS_SHADER_WRITE_BIT, computeStage | transferStage,
                shaderAccess | VK_ACCESS_TRANSFER_READ_BIT);
    }
    finish(commands);
    barrier(commands, transferStage | computeStage,
            VK_ACCESS_TRANSFER_WRITE_BIT | VK_ACCESS_SHADER_WRITE_BIT, VK_PIPELINE_STAGE_HOST_BIT,
            VK_ACCESS_HOST_READ_BIT);
    if (timestamps)
        vkCmdWriteTimestamp(commands, VK_PIPELINE_STAGE_BOTTOM_OF_PIPE_BIT, timestamps, query + 1);
    check(vkEndCommandBuffer(commands), "vkEndCommandBuffer");
}

// The whole graph, then the region of the answer as bytes, copied out for the host.
void VulkanNetwork::Impl::recordTile(Slot& slot, const Region& region)
{
    if (!slot.commands)
        slot.commands = allocateCommands();
    const Shape& out = program.outputShape;
    const BytePush push{0,
                        std::int32_t(program.outputOffset),
                        std::int32_t(out[2] * out[3]),
                        std::int32_t(out[3]),
                        region.x,
                        region.y,
                        region.width,
                        region.width * region.height,
                        std::int32_t(bytesOffset)};
    const VkDeviceSize bytes = VkDeviceSize(push.count) * 4;
    record(slot.commands, slot, program.dispatches.size(), [&](VkCommandBuffer commands) {
        vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_COMPUTE,
                          pipelines[int(Kernel::toBytes)]);
        vkCmdPushConstants(commands, pipelineLayout, VK_SHADER_STAGE_COMPUTE_BIT, 0, sizeof(push),
                           &push);
        Dispatch grid{Kernel::toBytes, 0, {std::uint32_t(push.count), 1, 1}};
        vkCmdDispatch(commands, workGroups(grid)[0], 1, 1);
        barrier(commands, computeStage, VK_ACCESS_SHADER_WRITE_BIT, transferStage,
                VK_ACCESS_TRANSFER_READ_BIT);
        const VkBufferCopy copy{bytesOffset * 4, 0, bytes};
        vkCmdCopyBuffer(commands, activations.buffer, slot.bytes.buffer, 1, &copy);
    });
    slot.recorded = region;
}

// The whole graph with its answer as floats, through slot 0's input.
void VulkanNetwork::Impl::recordRun()
{
    const Shape& out = program.outputShape;
    floatOutput = createBuffer(
        VkDeviceSize(out[0] * out[1] * out[2] * out[3]) * 4, VK_BUFFER_USAGE_TRANSFER_DST_BIT,
        {VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_CACHED_BIT |
             VK_MEMORY_PROPERTY_HOST_COHERENT_BIT,
         VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_CACHED_BIT,
         VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT});
    runCommands = allocateCommands();
    record(runCommands, slots[0], program.dispatches.size(), [&](VkCommandBuffer commands) {
        const VkBufferCopy copy{program.outputOffset * 4, 0, floatOutput.size};
        vkCmdCopyBuffer(commands, activations.buffer, floatOutput.buffer, 1, &copy);
    });
}

// The first dispatches that hold at least `share` of the multiply-adds; returns the share they
// hold.
double VulkanNetwork::Impl::recordPart(double share)
{
    double total = 0, part = 0;
    for (const Dispatch& d : program.dispatches)
        total += d.multiplyAdds;
    size_t steps = 0;
    while (steps < program.dispatches.size() && part < share * total)
        part += program.dispatches[steps++].multiplyAdds;
    if (!partCommands)
        partCommands = allocateCommands();
    if (steps != partSteps)
        record(partCommands, slots[0], steps, [](VkCommandBuffer) {});
    partSteps = steps;
    return total > 0 ? part / total : 1.0;
}

} // namespace sr
