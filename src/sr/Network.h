#pragma once

#include "Graph.h"

#include <memory>
#include <string>

namespace sr {

// A graph made ready to run on the CPU: primitives created and weights reordered once, memory
// for every value allocated once. Not thread-safe: one run at a time.
class Network {
public:
    // Throws GraphError when the graph cannot run here, std::bad_alloc, or the library's
    // exception (dnnl::error).
    explicit Network(const Graph& graph);
    ~Network();
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;

    // Planar float input of inputShape(), to be filled before run().
    float* input();
    Shape inputShape() const;
    // Runs the graph; the planar float output of outputShape() stays valid until the next run.
    const float* run();
    Shape outputShape() const;

    double multiplyAdds() const;
    // One line naming the kernels chosen and the memory held, for the bench.
    std::string summary() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sr
