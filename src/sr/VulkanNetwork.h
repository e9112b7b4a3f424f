#pragma once

#include "Executor.h"
#include "Vulkan.h"

#include <memory>

namespace sr {

struct VulkanProgram;

// A graph made ready to run on a Vulkan device: kernels compiled (through the pipeline cache),
// weights uploaded and every value's memory allocated once. Two tiles may be in flight: while
// the device runs one, the host fills the next one's input and copies the last one's answer,
// which the device has already turned into bytes. Not thread-safe: one user at a time.
class VulkanNetwork final : public Executor {
public:
    // Throws DeviceError when the device cannot run the program.
    VulkanNetwork(VulkanProgram program, const DeviceChoice& device);
    // Waits, within the run time-out, for the runs in flight; keeps the memory for the rest of
    // the process when they do not finish.
    ~VulkanNetwork() override;
    VulkanNetwork(const VulkanNetwork&) = delete;
    VulkanNetwork& operator=(const VulkanNetwork&) = delete;

    // The input of slot 0; run() shares it with the tiles of that slot.
    float* input() override;
    Shape inputShape() const override;
    // Throws DeviceError when the device is lost, out of memory, or does not finish in time;
    // the network cannot run again after that.
    const float* run() override;
    Shape outputShape() const override;

    int depth() const override;
    // Waits for the slot's earlier run, if one is still in flight.
    float* slotInput(int slot) override;
    // Throws DeviceError as run() does.
    void start(int slot, const Region& region) override;
    void finish(int slot, std::uint8_t* target, std::int64_t stride) override;

    double multiplyAdds() const override;
    std::string device() const override;
    std::string summary() const override;
    double deviceMs() const override;
    // Whether the kernels came from the pipeline cache of an earlier run.
    bool pipelinesReused() const;

    struct PartTime {
        double share = 0; // of the network's multiply-adds
        double ms = 0;
        bool finished = false;
    };
    // Runs the first steps that hold at least `share` of the multiply-adds and gives their
    // time: the device's own where it can tell, else the host's. Waits at most `waitMs`: a part
    // still running then goes on, unfinished and without a time. Throws DeviceError as run()
    // does.
    PartTime timePart(double share, double waitMs);

    // Frees the network once nothing of it runs any more, without waiting: networks set aside
    // earlier are freed by a later call (with none, only that).
    static void setAside(std::unique_ptr<VulkanNetwork> network);

    // Device memory the program needs, for the choice of a device.
    static std::uint64_t memoryNeeded(const VulkanProgram& program);

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

// The graph on the first device that can hold and run it; CPU devices count only when
// `anyType`. Throws DeviceError when none can, GraphError when the GPU's kernels cannot run the
// graph.
std::unique_ptr<Executor> loadOnGpu(const Graph& graph, bool anyType);

} // namespace sr
