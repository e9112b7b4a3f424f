#include "GpuFault.h"

#include <atomic>

namespace sr {

namespace {
std::atomic<GpuFault> armed{GpuFault::none};
std::atomic<bool> cpuDevices{false};
} // namespace

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
