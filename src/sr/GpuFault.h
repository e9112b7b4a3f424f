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
};

// Arms the fault for its next occasion; none disarms.
void injectGpuFault(GpuFault fault);
// Disarms and reports whether the fault was armed.
bool takeGpuFault(GpuFault fault);

// Lets the automatic choice take CPU devices, so that it can be tried where the only Vulkan
// device is the CPU's.
void allowCpuDevices(bool allow);
bool cpuDevicesAllowed();

} // namespace sr
