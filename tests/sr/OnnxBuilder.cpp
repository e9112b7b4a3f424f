#include "OnnxBuilder.h"

#include <cmath>

OnnxBuilder::OnnxBuilder(const Dims& inputShape, const std::string& inputName)
{
    m_model.set_ir_version(6);
    m_model.add_opset_import()->set_version(11);
    m_graph = m_model.mutable_graph();
    m_graph->set_name("test");
    onnx::ValueInfoProto* input = m_graph->add_input();
    input->set_name(inputName);
    auto* tensor = input->mutable_type()->mutable_tensor_type();
    tensor->set_elem_type(onnx::TensorProto::FLOAT);
    for (const std::int64_t d : inputShape)
        tensor->mutable_shape()->add_dim()->set_dim_value(d);
}

std::string OnnxBuilder::fresh(const std::string& hint)
{
    return hint + "_" + std::to_string(++m_counter);
}

std::string OnnxBuilder::constant(const Dims& dims, const std::vector<float>& values)
{
    onnx::TensorProto* tensor = m_graph->add_initializer();
    tensor->set_name(fresh("const"));
    tensor->set_data_type(onnx::TensorProto::FLOAT);
    for (const std::int64_t d : dims)
        tensor->add_dims(d);
    tensor->set_raw_data(
        std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float)));
    return tensor->name();
}

std::string OnnxBuilder::random(const Dims& dims, float scale)
{
    size_t count = 1;
    for (const std::int64_t d : dims)
        count *= size_t(d);
    std::uniform_real_distribution<float> uniform(-scale, scale);
    std::vector<float> values(count);
    for (float& v : values)
        v = uniform(m_random);
    return constant(dims, values);
}

std::string OnnxBuilder::node(const std::string& type, const std::vector<std::string>& inputs,
                              const std::vector<onnx::AttributeProto>& attributes,
                              const std::string& output)
{
    onnx::NodeProto* n = m_graph->add_node();
    n->set_op_type(type);
    for (const std::string& input : inputs)
        n->add_input(input);
    for (const onnx::AttributeProto& a : attributes)
        *n->add_attribute() = a;
    n->add_output(output.empty() ? fresh(type) : output);
    n->set_name(n->output(0));
    return n->output(0);
}

std::string OnnxBuilder::conv(const std::string& x, std::int64_t in, std::int64_t out,
                              const std::string& output)
{
    const float scale = 1.5f / std::sqrt(float(in * 9));
    return node("Conv", {x, random({out, in, 3, 3}, scale), random({out}, 0.1f)},
                {ints("kernel_shape", {3, 3}), ints("pads", {1, 1, 1, 1})}, output);
}

void OnnxBuilder::output(const std::string& name, const Dims& dims)
{
    onnx::ValueInfoProto* out = m_graph->add_output();
    out->set_name(name);
    auto* tensor = out->mutable_type()->mutable_tensor_type();
    tensor->set_elem_type(onnx::TensorProto::FLOAT);
    for (const std::int64_t d : dims)
        tensor->mutable_shape()->add_dim()->set_dim_value(d);
}

onnx::AttributeProto OnnxBuilder::ints(const std::string& name, const Dims& values)
{
    onnx::AttributeProto a;
    a.set_name(name);
    a.set_type(onnx::AttributeProto::INTS);
    for (const std::int64_t v : values)
        a.add_ints(v);
    return a;
}

onnx::AttributeProto OnnxBuilder::integer(const std::string& name, std::int64_t value)
{
    onnx::AttributeProto a;
    a.set_name(name);
    a.set_type(onnx::AttributeProto::INT);
    a.set_i(value);
    return a;
}

onnx::AttributeProto OnnxBuilder::text(const std::string& name, const std::string& value)
{
    onnx::AttributeProto a;
    a.set_name(name);
    a.set_type(onnx::AttributeProto::STRING);
    a.set_s(value);
    return a;
}

std::vector<float> randomInput(const OnnxBuilder::Dims& dims, unsigned seed)
{
    size_t count = 1;
    for (const std::int64_t d : dims)
        count *= size_t(d);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    std::vector<float> values(count);
    for (float& v : values)
        v = uniform(random);
    return values;
}
