#pragma once

namespace sr {

// Where networks run. automatic: whichever of the CPU and the GPUs runs the network fastest,
// timed on the first load and remembered; CPU-type Vulkan devices never count. measure: the same
// with CPU-type devices counted (so the timing can be tried without a GPU). vulkan: the first
// Vulkan device that can run it, CPU-type ones included, or the load fails. cpu: oneDNN only.
enum class Inference { automatic, measure, cpu, vulkan };

// From TOLVANE_INFERENCE ("cpu", "vulkan", "measure", "auto" or unset), read at every call.
Inference inferenceFromEnvironment();

} // namespace sr
