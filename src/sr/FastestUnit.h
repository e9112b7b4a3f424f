#pragma once

// The measured choice between the CPU's library and the GPUs: whichever runs the network
// fastest on this machine, timed once and remembered per model, processor, device and driver.

#include "Executor.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <string>

namespace sr {

struct UnitChoice {
    std::unique_ptr<Executor> executor;
    bool onGpu = false;
    // The choice with both timings, for the log and the bench.
    std::string report;
};

// The fastest of the CPU and the devices that can hold the graph (CPU-type Vulkan devices only
// when `cpuDevices`), by the verdicts kept for `modelDigest`, or, for a device without one, by
// timing it against the CPU: the CPU on a whole run, a device on the first layers that hold a
// thirty-second of the work, so that a slow device costs little. Never fails for a device's sake:
// a device that fails while timed or built loses. Throws what building the CPU's network throws.
UnitChoice fastestUnit(const Graph& graph, const QByteArray& modelDigest, const QString& modelName,
                       bool cpuDevices);

} // namespace sr
