#include "VulkanKernels.h"

#include "Vulkan.h"

#include <algorithm>

#include "shaders/conv.h"
#include "shaders/conv3x3.h"
#include "shaders/copy.h"
#include "shaders/depthtospace.h"
#include "shaders/pointwise.h"
#include "shaders/resize.h"
#include "shaders/tobytes.h"

namespace sr {

namespace {

// In the order of Kernel.
const KernelCode kernels[kernelCount] = {
    {conv3x3_spirv, sizeof(conv3x3_spirv), "conv 3x3"},
    {conv_spirv, sizeof(conv_spirv), "conv"},
    {pointwise_spirv, sizeof(pointwise_spirv), "pointwise"},
    {copy_spirv, sizeof(copy_spirv), "copy"},
    {resize_spirv, sizeof(resize_spirv), "resize"},
    {depthtospace_spirv, sizeof(depthtospace_spirv), "depth-to-space"},
    {tobytes_spirv, sizeof(tobytes_spirv), "to bytes"},
};

// What the 3x3 kernel asks of a device: its work group and local memory, kept in step with
// conv3x3.comp's tiles: input rows of 34 pixels padded by one vector after every four, for two
// groups of input channels, and the weights of 8 output groups for them.
constexpr std::uint32_t conv3x3Invocations = 256;
constexpr std::uint32_t conv3x3Row = 34 + 33 / 4;
constexpr std::uint32_t conv3x3SharedBytes = (2 * 10 * conv3x3Row + 8 * 2 * 36) * 16;
constexpr std::uint32_t gridInvocations = 128;
constexpr std::uint32_t maxGroups = 65535; // the least every device allows

std::uint32_t divideUp(std::uint64_t value, std::uint32_t step)
{
    return std::uint32_t((value + step - 1) / step);
}

} // namespace

const KernelCode& kernelCode(Kernel kernel)
{
    return kernels[int(kernel)];
}

KernelLayout createKernelLayout(VkDevice device)
{
    VkDescriptorSetLayoutBinding bindings[3];
    for (std::uint32_t b = 0; b < 3; ++b)
        bindings[b] = {b, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, VK_SHADER_STAGE_COMPUTE_BIT,
                       nullptr};
    VkDescriptorSetLayoutCreateInfo setInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO};
    setInfo.bindingCount = 3;
    setInfo.pBindings = bindings;
    KernelLayout layout;
    check(vkCreateDescriptorSetLayout(device, &setInfo, nullptr, &layout.set),
          "vkCreateDescriptorSetLayout");
    const VkPushConstantRange push{VK_SHADER_STAGE_COMPUTE_BIT, 0, sizeof(BytePush)};
    VkPipelineLayoutCreateInfo pipelineInfo{VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO};
    pipelineInfo.setLayoutCount = 1;
    pipelineInfo.pSetLayouts = &layout.set;
    pipelineInfo.pushConstantRangeCount = 1;
    pipelineInfo.pPushConstantRanges = &push;
    const VkResult made = vkCreatePipelineLayout(device, &pipelineInfo, nullptr, &layout.pipeline);
    if (made != VK_SUCCESS)
        destroyKernelLayout(device, layout);
    check(made, "vkCreatePipelineLayout");
    return layout;
}

void destroyKernelLayout(VkDevice device, KernelLayout& layout)
{
    vkDestroyPipelineLayout(device, layout.pipeline, nullptr);
    vkDestroyDescriptorSetLayout(device, layout.set, nullptr);
    layout = {};
}

bool conv3x3Fits(const VkPhysicalDeviceLimits& limits)
{
    return limits.maxComputeWorkGroupInvocations >= conv3x3Invocations &&
           limits.maxComputeWorkGroupSize[0] >= conv3x3Invocations &&
           limits.maxComputeSharedMemorySize >= conv3x3SharedBytes;
}

std::array<std::uint32_t, 3> workGroups(const Dispatch& d)
{
    if (d.kernel == Kernel::conv3x3)
        return {divideUp(d.extent[0], 32), divideUp(d.extent[1], 8),
                divideUp(d.extent[2], conv3x3Groups)};
    if (d.kernel == Kernel::conv)
        return {divideUp(d.extent[0], 8), divideUp(d.extent[1], 8), d.extent[2]};
    return {std::min(divideUp(d.extent[0], gridInvocations), maxGroups), 1, 1};
}

} // namespace sr
