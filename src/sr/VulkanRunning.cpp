#include "GpuFault.h"
#include "VulkanNetworkImpl.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstring>
#include <thread>

namespace sr {

// Injected faults fail a submission, or the wait for one, the way a real failure would.
void VulkanNetwork::Impl::submit(VkCommandBuffer commands, Slot& slot, bool run)
{
    check(vkResetFences(device, 1, &slot.fence), "vkResetFences");
    VkSubmitInfo submit{VK_STRUCTURE_TYPE_SUBMIT_INFO};
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &commands;
    const VkResult result = takeGpuFault(GpuFault::deviceLost) ? VK_ERROR_DEVICE_LOST
                            : takeGpuFault(GpuFault::outOfMemory)
                                ? VK_ERROR_OUT_OF_DEVICE_MEMORY
                                : vkQueueSubmit(queue, 1, &submit, slot.fence);
    if (result != VK_SUCCESS) {
        broken = true;
        throw DeviceError("vkQueueSubmit", result);
    }
    slot.pending = true;
    const TimingHooks delays = injectedTimingHooks();
    slot.delayMs = run ? delays.deviceRunMs + (ranBefore ? 0 : delays.deviceFirstRunMs) : 0;
    slot.readyAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(slot.delayMs);
    ranBefore = ranBefore || run;
}

VkResult VulkanNetwork::Impl::waitFor(Slot& slot)
{
    // An injected time-out waits on a fence that nothing is ever submitted with: it cannot
    // finish, however the driver schedules the real run.
    if (takeGpuFault(GpuFault::timeout)) {
        if (!unsubmitted) {
            VkFenceCreateInfo info{VK_STRUCTURE_TYPE_FENCE_CREATE_INFO};
            check(vkCreateFence(device, &info, nullptr, &unsubmitted), "vkCreateFence");
        }
        return vkWaitForFences(device, 1, &unsubmitted, VK_TRUE, 0);
    }
    return vkWaitForFences(device, 1, &slot.fence, VK_TRUE, timeoutNs);
}

void VulkanNetwork::Impl::wait(Slot& slot)
{
    if (!slot.pending)
        return;
    const VkResult result = waitFor(slot);
    if (result != VK_SUCCESS) {
        broken = true;
        abandoned = abandoned || result == VK_TIMEOUT;
        throw DeviceError(
            result == VK_TIMEOUT ? "the device did not finish in time" : "vkWaitForFences", result);
    }
    std::this_thread::sleep_until(slot.readyAt);
    slot.pending = false;
    lastDeviceMs = 0;
    std::uint64_t ticks[2];
    const std::uint32_t query = std::uint32_t(&slot - slots) * 2;
    if (timestamps &&
        vkGetQueryPoolResults(device, timestamps, query, 2, sizeof(ticks), ticks, sizeof(ticks[0]),
                              VK_QUERY_RESULT_64_BIT) == VK_SUCCESS) {
        const std::uint64_t mask =
            choice.timestampBits >= 64 ? ~0ull : (1ull << choice.timestampBits) - 1;
        lastDeviceMs =
            double((ticks[1] - ticks[0]) & mask) * choice.properties.limits.timestampPeriod / 1e6 +
            slot.delayMs;
    }
}

bool VulkanNetwork::Impl::waitWithin(Slot& slot, std::uint64_t ns)
{
    if (!slot.pending)
        return true;
    if (ns < timeoutNs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::nanoseconds(ns);
        if (vkWaitForFences(device, 1, &slot.fence, VK_TRUE, ns) == VK_TIMEOUT)
            return false;
        if (slot.readyAt > deadline) {
            std::this_thread::sleep_until(deadline);
            return false;
        }
    }
    wait(slot);
    return true;
}

bool VulkanNetwork::Impl::idle() const
{
    return std::none_of(std::begin(slots), std::end(slots), [&](const Slot& slot) {
        return slot.pending && vkGetFenceStatus(device, slot.fence) == VK_NOT_READY;
    });
}

bool VulkanNetwork::Impl::settle()
{
    for (Slot& slot : slots) {
        if (!slot.pending)
            continue;
        if (vkWaitForFences(device, 1, &slot.fence, VK_TRUE, timeoutNs) == VK_TIMEOUT)
            return false;
        slot.pending = false; // done, or the device is lost and holds nothing of ours
    }
    return true;
}

const float* VulkanNetwork::run()
{
    if (d->broken)
        throw DeviceError("the device failed earlier");
    Slot& slot = d->slots[0];
    d->wait(slot);
    if (!d->runCommands)
        d->recordRun();
    d->submit(d->runCommands, slot);
    d->wait(slot);
    d->invalidate(d->floatOutput);
    return static_cast<const float*>(d->floatOutput.mapped);
}

float* VulkanNetwork::slotInput(int index)
{
    Slot& slot = d->slots[index];
    if (!d->broken)
        d->wait(slot);
    return static_cast<float*>(slot.input.mapped);
}

void VulkanNetwork::start(int index, const Region& region)
{
    if (d->broken)
        throw DeviceError("the device failed earlier");
    Slot& slot = d->slots[index];
    d->wait(slot);
    if (slot.recorded != region)
        d->recordTile(slot, region);
    d->submit(slot.commands, slot);
}

void VulkanNetwork::finish(int index, std::uint8_t* target, std::int64_t stride)
{
    Slot& slot = d->slots[index];
    d->wait(slot);
    d->invalidate(slot.bytes);
    const Region& region = slot.recorded;
    const auto* from = static_cast<const std::uint8_t*>(slot.bytes.mapped);
    const size_t rowBytes = size_t(region.width) * 4;
    for (int r = 0; r < region.height; ++r)
        std::memcpy(target + r * stride, from + r * rowBytes, rowBytes);
}

VulkanNetwork::PartTime VulkanNetwork::timePart(double share, double waitMs)
{
    if (d->broken)
        throw DeviceError("the device failed earlier");
    Slot& slot = d->slots[0];
    d->wait(slot);
    PartTime time;
    time.share = d->recordPart(share);
    QElapsedTimer timer;
    timer.start();
    d->submit(d->partCommands, slot);
    const double ns = std::clamp(waitMs * 1e6, 0.0, double(d->timeoutNs));
    time.finished = d->waitWithin(slot, std::uint64_t(ns));
    if (time.finished)
        time.ms = d->lastDeviceMs > 0 ? d->lastDeviceMs : double(timer.nsecsElapsed()) / 1e6;
    return time;
}

} // namespace sr
