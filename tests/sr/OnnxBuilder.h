#pragma once

// Builds small ONNX models in code, the way the model converter writes them, so tests can try
// every operation and every broken form without checked-in files.

#include <onnx/onnx_pb.h>

#include <random>
#include <string>
#include <vector>

class OnnxBuilder {
public:
    using Dims = std::vector<std::int64_t>;

    explicit OnnxBuilder(const Dims& inputShape, const std::string& inputName = "input");

    // An initializer holding the values; returns its name.
    std::string constant(const Dims& dims, const std::vector<float>& values);
    // An initializer of uniform random values in [-scale, scale].
    std::string random(const Dims& dims, float scale);
    // A node of the type; returns the name of its one output (`output` when given).
    std::string node(const std::string& type, const std::vector<std::string>& inputs,
                     const std::vector<onnx::AttributeProto>& attributes = {},
                     const std::string& output = {});
    // A 3x3 convolution with padding 1 and random weights scaled for unit-sized results.
    std::string conv(const std::string& x, std::int64_t in, std::int64_t out,
                     const std::string& output = {});
    // Declares the graph's output (of the given shape; OpenCV's importer wants one).
    void output(const std::string& name, const Dims& dims = {1, 1, 1, 1});

    std::string bytes() const { return m_model.SerializeAsString(); }
    onnx::ModelProto& model() { return m_model; }

    static onnx::AttributeProto ints(const std::string& name, const Dims& values);
    static onnx::AttributeProto integer(const std::string& name, std::int64_t value);
    static onnx::AttributeProto text(const std::string& name, const std::string& value);

private:
    std::string fresh(const std::string& hint);

    onnx::ModelProto m_model;
    onnx::GraphProto* m_graph;
    int m_counter = 0;
    std::mt19937 m_random{20261208};
};

// Planar random values in [0, 1) for an input of the dims.
std::vector<float> randomInput(const OnnxBuilder::Dims& dims, unsigned seed);
