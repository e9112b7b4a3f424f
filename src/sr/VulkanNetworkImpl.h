#pragma once

// The inside of VulkanNetwork, shared by the files that build its memory, record its commands
// and run them.

#include "PipelineCache.h"
#include "VulkanNetwork.h"
#include "VulkanProgram.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace sr {

struct Memory {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    void* mapped = nullptr;
    VkDeviceSize size = 0;
    bool coherent = true;
};

// Where in the values' buffer the answer's bytes go (floats), past every value, and how many
// bytes they take at most: one word per pixel of an output plane.
std::uint64_t answerBytesOffset(const VulkanProgram& program);
std::uint64_t answerBytes(const VulkanProgram& program);

// What one run in flight owns: its input, its answer's bytes, its commands and its fence.
struct Slot {
    Memory input;
    Memory bytes;
    VkCommandBuffer commands = VK_NULL_HANDLE;
    VkFence fence = VK_NULL_HANDLE;
    Region recorded{-1, -1, -1, -1}; // the region `commands` answers with
    bool pending = false;            // submitted and not yet waited for
    // An injected delay: the run counts as going on until then, and as that much longer.
    std::chrono::steady_clock::time_point readyAt{};
    int delayMs = 0;
};

struct VulkanNetwork::Impl {
    static constexpr int slotCount = 2;

    DeviceChoice choice;
    VkDevice device = VK_NULL_HANDLE;
    VkQueue queue = VK_NULL_HANDLE;
    Memory activations, constants, parameters;
    Slot slots[slotCount];
    Memory floatOutput; // run()'s answer, made on its first use
    VkCommandBuffer runCommands = VK_NULL_HANDLE;
    VkCommandBuffer partCommands = VK_NULL_HANDLE; // a first part of the steps, for timing
    size_t partSteps = SIZE_MAX;                   // the steps it holds
    VkDescriptorSetLayout setLayout = VK_NULL_HANDLE;
    VkPipelineLayout pipelineLayout = VK_NULL_HANDLE;
    VkDescriptorPool pool = VK_NULL_HANDLE;
    VkDescriptorSet set = VK_NULL_HANDLE;
    std::unique_ptr<PipelineCache> cache;
    VkShaderModule modules[kernelCount] = {};
    VkPipeline pipelines[kernelCount] = {};
    VkCommandPool commandPool = VK_NULL_HANDLE;
    VkQueryPool timestamps = VK_NULL_HANDLE; // two per slot; none where the queue cannot tell
    VkFence unsubmitted = VK_NULL_HANDLE;    // what an injected time-out waits for
    std::uint64_t timeoutNs = 0;
    double lastDeviceMs = 0;

    VulkanProgram program; // the dispatches and where values live; constants dropped after upload
    std::uint64_t bytesOffset = 0; // floats: where the answer's bytes go, past the values
    int kernelUses[kernelCount] = {};
    bool broken = false;    // a run failed: the network never runs again
    bool abandoned = false; // the device may still be working on our memory: never free it
    bool ranBefore = false; // for an injected one-time delay

    ~Impl();
    // Keeps the memory for the life of the process when the device may still write into it.
    static void bury(std::unique_ptr<Impl> impl);

    // VulkanNetwork.cpp
    void build(VulkanProgram&& from);
    void createDevice();

    // VulkanMemory.cpp
    Memory createBuffer(VkDeviceSize size, VkBufferUsageFlags usage,
                        std::initializer_list<VkMemoryPropertyFlags> wanted);
    void destroy(Memory& m);
    void createMemory();
    void upload();
    // Makes the host's view of memory it reads current.
    void invalidate(const Memory& m);

    // VulkanRecording.cpp
    void createDescriptors();
    void createPipelines();
    VkCommandBuffer allocateCommands();
    // Input of the slot in, the first `steps` dispatches, then `finish` records the way out.
    template <typename Finish>
    void record(VkCommandBuffer commands, const Slot& slot, size_t steps, Finish finish);
    void recordTile(Slot& slot, const Region& region);
    void recordRun();
    double recordPart(double share);

    // VulkanRunning.cpp
    // `run`: of the network, not the upload of its constants; an injected delay counts there.
    void submit(VkCommandBuffer commands, Slot& slot, bool run = true);
    VkResult waitFor(Slot& slot);
    // Waits for the slot's run, if any; throws DeviceError when it failed or did not finish.
    void wait(Slot& slot);
    // Waits at most `ns` for the slot's run; false when it is still going. Throws as wait().
    bool waitWithin(Slot& slot, std::uint64_t ns);
    // Waits, within the time-out, for every run in flight; false when one may still be running.
    bool settle();
    // Whether no run is in flight any more.
    bool idle() const;
};

} // namespace sr
