#pragma once

#include "Executor.h"

#include <memory>
#include <string>

namespace sr {

// A graph made ready to run on the CPU: primitives created and weights reordered once, memory
// for every value allocated once. Not thread-safe: one run at a time.
class Network final : public Executor {
public:
    // Throws GraphError when the graph cannot run here, std::bad_alloc, or the library's
    // exception (dnnl::error).
    explicit Network(const Graph& graph);
    ~Network() override;
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;

    float* input() override;
    Shape inputShape() const override;
    const float* run() override;
    Shape outputShape() const override;

    double multiplyAdds() const override;
    std::string device() const override;
    std::string summary() const override;
    // How many convolutions run by which algorithm, e.g. "33 Winograd, 1 direct".
    std::string convolutionAlgorithms() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sr
