#pragma once

#include "Graph.h"

#include <cstdint>
#include <string>

namespace sr {

// A rectangle of the answer's planes, in pixels.
struct Region {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Region&) const = default;
};

// A model value in 0…1 as a byte: value * 255 + 0.5 in single precision, never fused,
// truncated; negative gives 0, and 255 or more, or not a number, gives 255.
std::uint8_t byteFromModel(float value);

// A graph made ready to run on one device: the CPU's library or a GPU. Not thread-safe: one run
// at a time.
class Executor {
public:
    virtual ~Executor() = default;

    // Planar float input of inputShape(), to be filled before run().
    virtual float* input() = 0;
    virtual Shape inputShape() const = 0;
    // Runs the graph; the planar float output of outputShape() stays valid until the next run.
    virtual const float* run() = 0;
    virtual Shape outputShape() const = 0;

    // Tile after tile, overlapped where the device allows: up to depth() runs in flight, each
    // with its own input slot, answering with bytes instead of floats. Fill slotInput(s), start(s),
    // and finish(s) before that slot is filled again; slots are finished in the order started.
    virtual int depth() const { return 1; }
    // Planar float input of inputShape() for the slot (0 … depth() − 1).
    virtual float* slotInput(int slot);
    // Runs the slot's input; its answer is wanted as bytes of `region` of the first three
    // output planes. The CPU runs it here; a GPU only submits it.
    virtual void start(int slot, const Region& region);
    // Waits for the slot's run and writes the region as RGBA pixels, alpha 255, colour by
    // byteFromModel, to `target`, whose rows are `stride` bytes apart.
    virtual void finish(int slot, std::uint8_t* target, std::int64_t stride);

    virtual double multiplyAdds() const = 0;
    // The device that runs the graph, for the log and the bench.
    virtual std::string device() const = 0;
    // One line naming the kernels chosen and the memory held, for the bench.
    virtual std::string summary() const = 0;
    // The device's own time for the last finished run in milliseconds, or 0 where it cannot
    // tell (for the bench: the host's share is the rest of the wall time).
    virtual double deviceMs() const { return 0; }

private:
    const float* m_answer = nullptr;
    Region m_region;
};

// Writes `region` of the planar answer of `shape` as RGBA bytes; see Executor::finish.
void writeAnswerBytes(const float* answer, const Shape& shape, const Region& region,
                      std::uint8_t* target, std::int64_t stride);

} // namespace sr
