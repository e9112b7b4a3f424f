#include "Graph.h"

#include <onnx/onnx_pb.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>

namespace sr {

namespace {

using onnx::AttributeProto;
using onnx::NodeProto;
using onnx::TensorProto;

// Far above any real layer; keeps products of dimensions well inside 64 bits.
constexpr std::int64_t maxDimension = std::int64_t(1) << 24;
constexpr std::int64_t maxElements = std::int64_t(1) << 31;

Operation operation(OpKind kind, std::vector<int> inputs)
{
    Operation op;
    op.kind = kind;
    op.inputs = std::move(inputs);
    return op;
}

[[noreturn]] void fail(const std::string& why)
{
    throw GraphError(why);
}

std::int64_t elementCount(const std::vector<std::int64_t>& dims)
{
    std::int64_t count = 1;
    for (const std::int64_t d : dims) {
        if (d < 0 || d > maxDimension)
            fail("bad tensor dimension");
        count *= d;
        if (count > maxElements)
            fail("tensor too large");
    }
    return count;
}

Constant readTensor(const TensorProto& tensor)
{
    if (tensor.data_type() != TensorProto::FLOAT)
        fail("tensor " + tensor.name() + " is not float32");
    if (tensor.data_location() == TensorProto::EXTERNAL)
        fail("tensor " + tensor.name() + " has external data");
    Constant constant;
    constant.dims.assign(tensor.dims().begin(), tensor.dims().end());
    const std::int64_t count = elementCount(constant.dims);
    if (tensor.has_raw_data()) {
        const std::string& raw = tensor.raw_data();
        if (std::int64_t(raw.size()) != count * std::int64_t(sizeof(float)))
            fail("tensor " + tensor.name() + " has the wrong size");
        constant.values.resize(size_t(count));
        if (count > 0) // an empty vector's data() may be null
            std::memcpy(constant.values.data(), raw.data(), raw.size());
    } else {
        if (tensor.float_data_size() != count)
            fail("tensor " + tensor.name() + " has the wrong size");
        constant.values.assign(tensor.float_data().begin(), tensor.float_data().end());
    }
    return constant;
}

const AttributeProto* attribute(const NodeProto& node, const char* name)
{
    for (const AttributeProto& a : node.attribute())
        if (a.name() == name)
            return &a;
    return nullptr;
}

std::vector<std::int64_t> ints(const NodeProto& node, const char* name,
                               std::vector<std::int64_t> fallback)
{
    const AttributeProto* a = attribute(node, name);
    return a ? std::vector<std::int64_t>(a->ints().begin(), a->ints().end()) : fallback;
}

std::int64_t integer(const NodeProto& node, const char* name, std::int64_t fallback)
{
    const AttributeProto* a = attribute(node, name);
    return a ? a->i() : fallback;
}

std::string text(const NodeProto& node, const char* name, const char* fallback)
{
    const AttributeProto* a = attribute(node, name);
    return a ? a->s() : fallback;
}

// Turns the ONNX nodes into operations, tracking names, shapes and constants.
class Reader {
public:
    Graph graph;

    void addInput(const std::string& name, const Shape& shape) { define(name, shape); }
    void addConstant(const std::string& name, Constant c) { m_constants[name] = std::move(c); }
    void read(const NodeProto& node);
    int activation(const std::string& name) const;

private:
    int define(const std::string& name, const Shape& shape);
    const Constant* constant(const std::string& name) const;
    const Constant& requireConstant(const NodeProto& node, int index) const;
    const Shape& shapeOf(int id) const { return graph.shapes[size_t(id)]; }
    void push(Operation op, const NodeProto& node, const Shape& shape);

    void readConv(const NodeProto& node);
    void readPRelu(const NodeProto& node);
    void readArithmetic(const NodeProto& node, OpKind kind);
    void readConcat(const NodeProto& node);
    void readResize(const NodeProto& node);
    void readDepthToSpace(const NodeProto& node);

    std::map<std::string, int> m_ids;
    std::map<std::string, Constant> m_constants;
};

int Reader::define(const std::string& name, const Shape& shape)
{
    if (name.empty() || m_ids.count(name) || m_constants.count(name))
        fail("value " + name + " defined twice");
    for (const std::int64_t d : shape)
        if (d < 1 || d > maxDimension)
            fail("bad shape of " + name);
    const int id = int(graph.names.size());
    graph.names.push_back(name);
    graph.shapes.push_back(shape);
    m_ids[name] = id;
    return id;
}

int Reader::activation(const std::string& name) const
{
    const auto found = m_ids.find(name);
    if (found == m_ids.end())
        fail("unknown value " + name);
    return found->second;
}

const Constant* Reader::constant(const std::string& name) const
{
    const auto found = m_constants.find(name);
    return found == m_constants.end() ? nullptr : &found->second;
}

const Constant& Reader::requireConstant(const NodeProto& node, int index) const
{
    if (node.input_size() <= index)
        fail(node.op_type() + " lacks an input");
    const Constant* c = constant(node.input(index));
    if (!c)
        fail("missing initializer " + node.input(index));
    return *c;
}

void Reader::push(Operation op, const NodeProto& node, const Shape& shape)
{
    if (node.output_size() != 1)
        fail(node.op_type() + " must have one output");
    if (elementCount({shape.begin(), shape.end()}) < 1)
        fail("empty result of " + node.op_type());
    op.output = define(node.output(0), shape);
    graph.operations.push_back(std::move(op));
}

void Reader::read(const NodeProto& node)
{
    if (!node.domain().empty() && node.domain() != "ai.onnx")
        fail("operation of domain " + node.domain());
    const std::string& type = node.op_type();
    if (type == "Constant") {
        const AttributeProto* value = attribute(node, "value");
        if (!value || !value->has_t() || node.output_size() != 1)
            fail("Constant without a tensor value");
        addConstant(node.output(0), readTensor(value->t()));
    } else if (type == "Conv") {
        readConv(node);
    } else if (type == "PRelu") {
        readPRelu(node);
    } else if (type == "Relu") {
        Operation op = operation(OpKind::relu, {activation(node.input(0))});
        push(std::move(op), node, shapeOf(activation(node.input(0))));
    } else if (type == "Add") {
        readArithmetic(node, OpKind::add);
    } else if (type == "Sub") {
        readArithmetic(node, OpKind::sub);
    } else if (type == "Mul") {
        readArithmetic(node, OpKind::mul);
    } else if (type == "Concat") {
        readConcat(node);
    } else if (type == "Resize") {
        readResize(node);
    } else if (type == "DepthToSpace") {
        readDepthToSpace(node);
    } else {
        fail("unsupported operation " + type);
    }
}

void Reader::readConv(const NodeProto& node)
{
    if (node.input_size() < 2 || node.input_size() > 3)
        fail("Conv needs two or three inputs");
    Operation op = operation(OpKind::conv, {activation(node.input(0))});
    op.weights = requireConstant(node, 1);
    const Shape& in = shapeOf(op.inputs[0]);
    const auto& w = op.weights.dims;
    if (w.size() != 4 || w[1] != in[1] || w[0] < 1)
        fail("Conv weights do not match the input");
    if (integer(node, "group", 1) != 1 || text(node, "auto_pad", "NOTSET") != "NOTSET")
        fail("Conv with groups or automatic padding");
    if (node.input_size() == 3 && !node.input(2).empty()) {
        op.bias = requireConstant(node, 2);
        if (op.bias.values.size() != size_t(w[0]))
            fail("Conv bias does not match the weights");
    } else {
        op.bias = {{w[0]}, std::vector<float>(size_t(w[0]), 0.0f)};
    }
    const auto kernel = ints(node, "kernel_shape", {w[2], w[3]});
    const auto pads = ints(node, "pads", {0, 0, 0, 0});
    const auto strides = ints(node, "strides", {1, 1});
    const auto dilations = ints(node, "dilations", {1, 1});
    if (kernel != std::vector<std::int64_t>{w[2], w[3]} || pads.size() != 4 ||
        strides.size() != 2 || dilations.size() != 2)
        fail("Conv attributes do not fit a 2-D convolution");
    op.pads = {pads[0], pads[1], pads[2], pads[3]};
    Shape out{in[0], w[0], 0, 0};
    for (int axis = 0; axis < 2; ++axis) {
        const std::int64_t s = strides[size_t(axis)], d = dilations[size_t(axis)];
        if (s < 1 || s > 16 || d < 1 || d > 16 || pads[size_t(axis)] < 0 ||
            pads[size_t(axis) + 2] < 0 || pads[size_t(axis)] > 64 || pads[size_t(axis) + 2] > 64)
            fail("Conv stride, dilation or padding out of range");
        op.strides[size_t(axis)] = s;
        op.dilations[size_t(axis)] = d;
        const std::int64_t span = (w[size_t(axis) + 2] - 1) * d + 1;
        const std::int64_t padded =
            in[size_t(axis) + 2] + pads[size_t(axis)] + pads[size_t(axis) + 2];
        if (padded < span)
            fail("Conv kernel larger than its input");
        out[size_t(axis) + 2] = (padded - span) / s + 1;
    }
    push(std::move(op), node, out);
}

void Reader::readPRelu(const NodeProto& node)
{
    Operation op = operation(OpKind::prelu, {activation(node.input(0))});
    const Shape shape = shapeOf(op.inputs[0]);
    const Constant& slope = requireConstant(node, 1);
    // One slope per channel ([C], [C,1,1] or [1,C,1,1]) or one for all.
    if (slope.values.size() == 1)
        op.weights = {{shape[1]}, std::vector<float>(size_t(shape[1]), slope.values[0])};
    else if (std::int64_t(slope.values.size()) == shape[1] && !slope.dims.empty() &&
             slope.dims.size() <= 4 &&
             (slope.dims.size() < 3 || slope.dims[slope.dims.size() - 3] == shape[1]))
        op.weights = {{shape[1]}, slope.values};
    else
        fail("PRelu slope is not per channel");
    push(std::move(op), node, shape);
}

void Reader::readArithmetic(const NodeProto& node, OpKind kind)
{
    if (node.input_size() != 2)
        fail(node.op_type() + " needs two inputs");
    const Constant* left = constant(node.input(0));
    const Constant* right = constant(node.input(1));
    if (!left && !right) {
        Operation op = operation(kind, {activation(node.input(0)), activation(node.input(1))});
        const Shape shape = shapeOf(op.inputs[0]);
        if (shape != shapeOf(op.inputs[1]))
            fail(node.op_type() + " of different shapes");
        push(std::move(op), node, shape);
        return;
    }
    const Constant* c = left ? left : right;
    if (left && right)
        fail(node.op_type() + " of two constants");
    if (c->values.size() != 1)
        fail(node.op_type() + " with a constant of more than one value");
    const float k = c->values[0];
    Operation op = operation(OpKind::linear, {activation(node.input(left ? 1 : 0))});
    if (kind == OpKind::add)
        op.beta = k;
    else if (kind == OpKind::mul)
        op.alpha = k;
    else if (left) // k - x
        op.alpha = -1, op.beta = k;
    else // x - k
        op.beta = -k;
    push(std::move(op), node, shapeOf(op.inputs[0]));
}

void Reader::readConcat(const NodeProto& node)
{
    const std::int64_t axis = integer(node, "axis", 1);
    if ((axis != 1 && axis != -3) || node.input_size() < 1)
        fail("Concat other than along channels");
    Operation op = operation(OpKind::concat, {});
    Shape shape{};
    for (const std::string& name : node.input()) {
        const int id = activation(name);
        const Shape& s = shapeOf(id);
        if (op.inputs.empty())
            shape = {s[0], 0, s[2], s[3]};
        else if (s[0] != shape[0] || s[2] != shape[2] || s[3] != shape[3])
            fail("Concat of different sizes");
        shape[1] += s[1];
        op.inputs.push_back(id);
    }
    push(std::move(op), node, shape);
}

void Reader::readResize(const NodeProto& node)
{
    if (text(node, "mode", "nearest") != "nearest")
        fail("Resize other than nearest");
    const std::string transform = text(node, "coordinate_transformation_mode", "half_pixel");
    const std::string rounding = text(node, "nearest_mode", "round_prefer_floor");
    // With whole factors these all pick source pixel floor(y / factor).
    const bool floorLike = (transform == "asymmetric" && rounding == "floor") ||
                           ((transform == "half_pixel" || transform == "pytorch_half_pixel") &&
                            (rounding == "round_prefer_floor" || rounding == "round_prefer_ceil"));
    if (!floorLike)
        fail("Resize with unsupported rounding");
    Operation op = operation(OpKind::resize, {activation(node.input(0))});
    const Shape in = shapeOf(op.inputs[0]);
    std::vector<double> factors;
    if (node.input_size() >= 3 && !node.input(2).empty() &&
        !requireConstant(node, 2).values.empty()) {
        for (const float f : requireConstant(node, 2).values)
            factors.push_back(f);
    } else if (node.input_size() >= 4) {
        const Constant& sizes = requireConstant(node, 3);
        for (size_t i = 0; i < sizes.values.size() && i < 4; ++i)
            factors.push_back(double(sizes.values[i]) / double(in[i]));
    }
    if (factors.size() != 4 || factors[0] != 1 || factors[1] != 1 || factors[2] != factors[3] ||
        factors[2] < 1 || factors[2] > 16 || factors[2] != std::floor(factors[2]))
        fail("Resize other than by a whole factor in both directions");
    op.factor = int(factors[2]);
    push(std::move(op), node, {in[0], in[1], in[2] * op.factor, in[3] * op.factor});
}

void Reader::readDepthToSpace(const NodeProto& node)
{
    Operation op = operation(OpKind::depthToSpace, {activation(node.input(0))});
    const std::int64_t block = integer(node, "blocksize", 0);
    const std::string mode = text(node, "mode", "DCR");
    const Shape in = shapeOf(op.inputs[0]);
    if (block < 1 || block > 16 || in[1] % (block * block) || (mode != "DCR" && mode != "CRD"))
        fail("DepthToSpace with an unsupported block");
    op.factor = int(block);
    op.dcr = mode == "DCR";
    push(std::move(op), node, {in[0], in[1] / (block * block), in[2] * block, in[3] * block});
}

} // namespace

double Graph::multiplyAdds() const
{
    double total = 0;
    for (const Operation& op : operations)
        if (op.kind == OpKind::conv) {
            const Shape& out = shapes[size_t(op.output)];
            total += double(op.weights.values.size()) * double(out[0] * out[2] * out[3]);
        }
    return total;
}

Graph readGraph(const std::string& bytes, const Shape& inputShape)
{
    onnx::ModelProto model;
    if (bytes.empty() || !model.ParseFromString(bytes) || !model.has_graph())
        fail("not an ONNX model");
    const onnx::GraphProto& g = model.graph();
    Reader reader;
    for (const TensorProto& tensor : g.initializer())
        reader.addConstant(tensor.name(), readTensor(tensor));
    int inputs = 0;
    for (const onnx::ValueInfoProto& info : g.input()) {
        if (std::any_of(g.initializer().begin(), g.initializer().end(),
                        [&](const TensorProto& t) { return t.name() == info.name(); }))
            continue;
        // A fixed declared shape must be the one we run.
        const auto& dims = info.type().tensor_type().shape().dim();
        if (dims.size() != 4)
            fail("input is not four-dimensional");
        for (int i = 0; i < 4; ++i)
            if (dims[i].has_dim_value() && dims[i].dim_value() != inputShape[size_t(i)])
                fail("input shape differs from the tile");
        reader.addInput(info.name(), inputShape);
        ++inputs;
    }
    if (inputs != 1)
        fail("the model must have exactly one input");
    reader.graph.input = 0;
    for (const NodeProto& node : g.node())
        reader.read(node);
    if (g.output_size() < 1)
        fail("the model has no output");
    std::string output = g.output(0).name();
    for (const onnx::ValueInfoProto& info : g.output())
        if (info.name() == "output")
            output = info.name();
    reader.graph.output = reader.activation(output);
    if (reader.graph.output == reader.graph.input)
        fail("the output is the input");
    return std::move(reader.graph);
}

} // namespace sr
