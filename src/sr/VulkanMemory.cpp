#include "VulkanNetworkImpl.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace sr {

std::uint64_t answerBytesOffset(const VulkanProgram& program)
{
    return program.activationBytes / 4;
}

std::uint64_t answerBytes(const VulkanProgram& program)
{
    return std::uint64_t(program.outputShape[2] * program.outputShape[3]) * 4;
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

void VulkanNetwork::Impl::invalidate(const Memory& m)
{
    if (m.coherent)
        return;
    const VkMappedMemoryRange range{VK_STRUCTURE_TYPE_MAPPED_MEMORY_RANGE, nullptr, m.memory, 0,
                                    VK_WHOLE_SIZE};
    check(vkInvalidateMappedMemoryRanges(device, 1, &range), "vkInvalidateMappedMemoryRanges");
}

// The values, then room for the answer's bytes; an input and an answer per slot on the host.
void VulkanNetwork::Impl::createMemory()
{
    bytesOffset = answerBytesOffset(program);
    const VkDeviceSize valueBytes = bytesOffset * 4 + answerBytes(program);
    const VkDeviceSize constantBytes = program.constants.size() * sizeof(float);
    const std::uint32_t range = choice.properties.limits.maxStorageBufferRange;
    // The kernels index words with 32-bit integers.
    if (valueBytes > range || constantBytes > range || valueBytes / 4 > INT_MAX)
        throw DeviceError("the network's values exceed the device's buffer range");

    constexpr auto storage = VK_BUFFER_USAGE_STORAGE_BUFFER_BIT;
    constexpr auto src = VK_BUFFER_USAGE_TRANSFER_SRC_BIT;
    constexpr auto dst = VK_BUFFER_USAGE_TRANSFER_DST_BIT;
    constexpr auto local = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
    constexpr auto visible = VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT;
    constexpr auto coherent = VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;
    constexpr auto cached = VK_MEMORY_PROPERTY_HOST_CACHED_BIT;
    activations = createBuffer(valueBytes, storage | src | dst, {local, 0});
    constants = createBuffer(constantBytes, storage | dst, {local, 0});
    parameters =
        createBuffer(program.parameters.size() * sizeof(std::int32_t), storage | dst, {local, 0});
    const Shape& in = program.inputShape;
    for (Slot& slot : slots) {
        slot.input = createBuffer(VkDeviceSize(in[0] * in[1] * in[2] * in[3]) * 4, src,
                                  {visible | coherent});
        // Read by the host: cached memory reads many times faster than write-combined.
        slot.bytes = createBuffer(answerBytes(program), dst,
                                  {visible | cached | coherent, visible | cached, visible});
    }
}

// Weights and parameters through a staging buffer; values zeroed so padding starts clean.
void VulkanNetwork::Impl::upload()
{
    const VkDeviceSize constantBytes = program.constants.size() * sizeof(float);
    const VkDeviceSize parameterBytes = program.parameters.size() * sizeof(std::int32_t);
    Memory stage =
        createBuffer(constantBytes + parameterBytes, VK_BUFFER_USAGE_TRANSFER_SRC_BIT,
                     {VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT});
    struct Release {
        Impl* self;
        Memory* m;
        ~Release()
        {
            if (!self->abandoned)
                self->destroy(*m);
        }
    } release{this, &stage};
    std::memcpy(stage.mapped, program.constants.data(), constantBytes);
    std::memcpy(static_cast<char*>(stage.mapped) + constantBytes, program.parameters.data(),
                parameterBytes);

    const VkCommandBuffer once = allocateCommands();
    VkCommandBufferBeginInfo begin{VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO};
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    vkBeginCommandBuffer(once, &begin);
    const VkBufferCopy toConstants{0, 0, constantBytes};
    const VkBufferCopy toParameters{constantBytes, 0, parameterBytes};
    vkCmdCopyBuffer(once, stage.buffer, constants.buffer, 1, &toConstants);
    vkCmdCopyBuffer(once, stage.buffer, parameters.buffer, 1, &toParameters);
    vkCmdFillBuffer(once, activations.buffer, 0, VK_WHOLE_SIZE, 0);
    check(vkEndCommandBuffer(once), "vkEndCommandBuffer");
    submit(once, slots[0], false);
    wait(slots[0]);
    vkFreeCommandBuffers(device, commandPool, 1, &once);
}

} // namespace sr
