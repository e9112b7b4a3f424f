#pragma once

namespace sr {

// Where networks run. automatic: a GPU when one works, never a CPU-type Vulkan device, else the
// CPU. vulkan: any Vulkan device, CPU-type ones included, or the load fails. cpu: oneDNN only.
enum class Inference { automatic, cpu, vulkan };

// From TOLVANE_INFERENCE ("cpu", "vulkan", "auto" or unset), read at every call.
Inference inferenceFromEnvironment();

} // namespace sr
