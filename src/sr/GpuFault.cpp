#include "GpuFault.h"

#include <atomic>
#include <mutex>

namespace sr {

namespace {
std::atomic<GpuFault> armed{GpuFault::none};
std::atomic<bool> cpuDevices{false};
std::mutex hooksLock;
TimingHooks hooks;
} // namespace

void injectTimingHooks(const TimingHooks& injected)
{
    std::lock_guard guard(hooksLock);
    hooks = injected;
}

TimingHooks injectedTimingHooks()
{
    std::lock_guard guard(hooksLock);
    return hooks;
}

void injectGpuFault(GpuFault fault)
{
    armed.store(fault);
}

bool takeGpuFault(GpuFault fault)
{
    GpuFault expected = fault;
    return fault != GpuFault::none && armed.compare_exchange_strong(expected, GpuFault::none);
}

void allowCpuDevices(bool allow)
{
    cpuDevices.store(allow);
}

bool cpuDevicesAllowed()
{
    return cpuDevices.load();
}

} // namespace sr
