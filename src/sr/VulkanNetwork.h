#pragma once

#include "Executor.h"
#include "Vulkan.h"

#include <memory>

namespace sr {

struct VulkanProgram;

// A graph made ready to run on a Vulkan device: kernels compiled (through the pipeline cache),
// weights uploaded and every value's memory allocated once, and one command buffer recorded
// that runs the whole graph. Not thread-safe: one run at a time.
class VulkanNetwork final : public Executor {
public:
    // Throws DeviceError when the device cannot run the program.
    VulkanNetwork(const VulkanProgram& program, const DeviceChoice& device);
    ~VulkanNetwork() override;
    VulkanNetwork(const VulkanNetwork&) = delete;
    VulkanNetwork& operator=(const VulkanNetwork&) = delete;

    float* input() override;
    Shape inputShape() const override;
    // Throws DeviceError when the device is lost, out of memory, or does not finish in time;
    // the network cannot run again after that.
    const float* run() override;
    Shape outputShape() const override;

    double multiplyAdds() const override;
    std::string device() const override;
    std::string summary() const override;
    // Whether the kernels came from the pipeline cache of an earlier run.
    bool pipelinesReused() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The graph on the best device that can run it; CPU devices count only when `anyType`.
// Throws DeviceError when none can, GraphError when the GPU's kernels cannot run the graph.
std::unique_ptr<Executor> loadOnGpu(const Graph& graph, bool anyType);

} // namespace sr
