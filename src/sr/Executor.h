#pragma once

#include "Graph.h"

#include <string>

namespace sr {

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

    virtual double multiplyAdds() const = 0;
    // The device that runs the graph, for the log and the bench.
    virtual std::string device() const = 0;
    // One line naming the kernels chosen and the memory held, for the bench.
    virtual std::string summary() const = 0;
};

} // namespace sr
