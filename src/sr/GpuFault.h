#pragma once

// A hook for tests: the next GPU operation of the kind fails the way the real failure would, so
// that every way back to the CPU can be tried on any machine.

namespace sr {

enum class GpuFault {
    none,
    noDevice,    // no device is found
    lowMemory,   // every device reports too little memory for the network
    pipeline,    // a compute pipeline cannot be created
    deviceLost,  // a run's submission reports the device lost
    outOfMemory, // a run's submission runs out of device memory
    timeout,     // a run does not finish in time
    hostMemory,  // building a network runs out of host memory
};

// Arms the fault for its next occasion; none disarms.
void injectGpuFault(GpuFault fault);
// Disarms and reports whether the fault was armed.
bool takeGpuFault(GpuFault fault);

// For the measured choice: extra time, the way a slow driver or processor would take it, and
// the wall time a device's measurement may take. In milliseconds.
struct TimingHooks {
    int deviceFirstRunMs = 0; // a device's first run after it is built: one-time set-up
    int deviceRunMs = 0;      // each of a device's runs
    int cpuFirstRunMs = 0;    // the CPU's first timed run
    int budgetMs = 0;         // 0: the choice's own
};
void injectTimingHooks(const TimingHooks& hooks);
TimingHooks injectedTimingHooks();

// Lets the automatic choice take CPU devices, so that it can be tried where the only Vulkan
// device is the CPU's.
void allowCpuDevices(bool allow);
bool cpuDevicesAllowed();

} // namespace sr
