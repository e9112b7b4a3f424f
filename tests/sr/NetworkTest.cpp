#include "sr/Network.h"
#include "sr/Plan.h"

#include "OnnxBuilder.h"
#include "TestGraphs.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/dnn.hpp>

namespace {

using Dims = OnnxBuilder::Dims;
constexpr float tolerance = 1e-4f;

sr::Shape shapeOf(const Dims& dims)
{
    return {dims[0], dims[1], dims[2], dims[3]};
}

// OpenCV's own ONNX importer and layers: an implementation independent of ours.
std::vector<float> reference(const std::string& bytes, const std::vector<float>& input,
                             const Dims& dims)
{
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    cv::dnn::Net net = cv::dnn::readNetFromONNX(bytes.data(), bytes.size());
    const std::vector<int> shape(dims.begin(), dims.end());
    net.setInput(cv::Mat(4, shape.data(), CV_32F, const_cast<float*>(input.data())));
    const cv::Mat out = net.forward();
    return std::vector<float>(out.ptr<float>(), out.ptr<float>() + out.total());
}

// Runs the model on two inputs one after the other and compares the second with the reference:
// values left over from the first run must not leak into the second.
void expectMatchesReference(const std::string& bytes, const Dims& dims)
{
    sr::Network network(sr::readGraph(bytes, shapeOf(dims)));
    runOnce(network, randomInput(dims, 1));
    const std::vector<float> input = randomInput(dims, 2);
    EXPECT_LT(maxDifference(runOnce(network, input), reference(bytes, input, dims)), tolerance);
}

} // namespace

TEST(Network, EveryOperationMatchesTheReference)
{
    // Small and not square, so swapped rows and columns cannot pass.
    expectMatchesReference(everyOperation({1, 3, 20, 28}), {1, 3, 20, 28});
}

TEST(Network, ShippedAndTestModelsMatchTheReference)
{
    const QStringList files = shippedAndTestModels();
    ASSERT_GE(files.size(), 5);
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        expectMatchesReference(file.readAll().toStdString(), {1, 3, 256, 256});
    }
}

// PRelu and what follows it run in a pass after the library's step: after a sum that is a step
// of its own and after a convolution whose sum the library applies first. 20 channels fill no
// whole block of 8 or 16, so the last block's slopes and padding are exercised too.
TEST(Network, PreluAndWhatFollowsItMatchTheReference)
{
    const Dims dims{1, 3, 20, 28};
    OnnxBuilder b(dims);
    const std::string x = b.conv("input", 3, 20);
    const std::string a = b.conv("input", 3, 20);
    const std::string p = b.node("PRelu", {b.node("Add", {x, a}), b.random({20, 1, 1}, 0.5f)});
    const std::string q =
        b.node("PRelu", {b.node("Add", {b.conv(p, 20, 20), a}), b.random({20, 1, 1}, 0.5f)});
    const std::string r =
        b.node("Relu", {b.node("Mul", {b.node("Sub", {q, x}), b.constant({1}, {0.5f})})});
    b.output(b.conv(r, 20, 3, "output"), dims);
    expectMatchesReference(b.bytes(), dims);
}

TEST(Network, RefusesWhatItCannotRunAtLoad)
{
    const Dims dims{1, 3, 8, 8};
    const auto build = [&](auto&& body) {
        OnnxBuilder b(dims);
        b.output(body(b));
        return b.bytes();
    };
    const auto conv = [](OnnxBuilder& b, std::vector<onnx::AttributeProto> extra) {
        return b.node("Conv", {"input", b.random({6, 3, 3, 3}, 1), b.random({6}, 1)}, extra);
    };
    const std::string valid = build([](OnnxBuilder& b) { return b.conv("input", 3, 4); });
    const std::pair<const char*, std::string> cases[] = {
        {"empty file", ""},
        {"not a model", "not a network"},
        {"truncated", valid.substr(0, valid.size() / 2)},
        {"unknown operation", build([](OnnxBuilder& b) { return b.node("Sigmoid", {"input"}); })},
        {"missing initializer", build([](OnnxBuilder& b) {
             return b.node("Conv", {"input", "weights"});
         })},
        {"value used before it exists",
         build([](OnnxBuilder& b) { return b.node("Relu", {"later"}); })},
        {"grouped convolution",
         build([&](OnnxBuilder& b) { return conv(b, {OnnxBuilder::integer("group", 3)}); })},
        {"automatic padding", build([&](OnnxBuilder& b) {
             return conv(b, {OnnxBuilder::text("auto_pad", "SAME_UPPER")});
         })},
        {"weights of the wrong shape", build([](OnnxBuilder& b) {
             return b.node("Conv", {"input", b.random({4, 2, 3, 3}, 1)});
         })},
        {"linear resize", build([](OnnxBuilder& b) {
             return b.node("Resize", {"input", b.constant({0}, {}), b.constant({4}, {1, 1, 2, 2})},
                           {OnnxBuilder::text("mode", "linear")});
         })},
        {"fractional resize", build([](OnnxBuilder& b) {
             return b.node("Resize",
                           {"input", b.constant({0}, {}), b.constant({4}, {1, 1, 1.5, 1.5})},
                           {OnnxBuilder::text("coordinate_transformation_mode", "asymmetric"),
                            OnnxBuilder::text("nearest_mode", "floor")});
         })},
        {"per-channel constant", build([](OnnxBuilder& b) {
             return b.node("Mul", {"input", b.random({3, 1, 1}, 1)});
         })},
        {"depth-to-space of too few channels", build([](OnnxBuilder& b) {
             return b.node("DepthToSpace", {"input"}, {OnnxBuilder::integer("blocksize", 2)});
         })},
        {"concatenation of different sizes", build([](OnnxBuilder& b) {
             const std::string half = b.node("Conv", {"input", b.random({3, 3, 1, 1}, 1)},
                                             {OnnxBuilder::ints("strides", {2, 2})});
             return b.node("Concat", {"input", half}, {OnnxBuilder::integer("axis", 1)});
         })},
        {"input of another size",
         [] {
             OnnxBuilder b({1, 3, 16, 16});
             b.output(b.node("Relu", {"input"}));
             return b.bytes();
         }()},
    };
    EXPECT_NO_THROW(sr::Network(sr::readGraph(valid, shapeOf(dims))));
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        EXPECT_THROW(sr::Network(sr::readGraph(bytes, shapeOf(dims))), sr::GraphError);
    }
}

TEST(Network, HalfPrecisionOrExternalWeightsAreRefused)
{
    for (const bool external : {false, true}) {
        OnnxBuilder b({1, 3, 8, 8});
        const std::string weights = b.random({4, 3, 3, 3}, 1);
        onnx::TensorProto& tensor = *b.model().mutable_graph()->mutable_initializer(0);
        if (external)
            tensor.set_data_location(onnx::TensorProto::EXTERNAL);
        else
            tensor.set_data_type(onnx::TensorProto::FLOAT16);
        b.output(b.node("Conv", {"input", weights}));
        EXPECT_THROW(sr::readGraph(b.bytes(), {1, 3, 8, 8}), sr::GraphError);
    }
}

// A dense block writes every part into its slice of the concatenation, so no copy remains; and
// a long chain of layers lives in a few buffers, not one per layer.
TEST(Network, DenseBlocksConcatenateInPlaceAndMemoryIsReused)
{
    const Dims dims{1, 3, 16, 16};
    OnnxBuilder b(dims);
    std::string x = b.conv("input", 3, 64);
    for (int block = 0; block < 6; ++block) {
        std::string dense = x;
        for (std::int64_t channels = 64; channels < 192; channels += 32)
            dense = b.node("Concat", {dense, b.node("Relu", {b.conv(dense, channels, 32)})},
                           {OnnxBuilder::integer("axis", 1)});
        x = b.node("Add", {x, b.node("Mul", {b.conv(dense, 192, 64), b.constant({1}, {0.2f})})});
    }
    b.output(b.conv(x, 64, 3, "output"), {1, 3, 16, 16});
    const sr::Graph graph = sr::readGraph(b.bytes(), shapeOf(dims));
    for (const int block : {8, 16}) {
        SCOPED_TRACE(block);
        const sr::Plan plan = sr::makePlan(graph, block);
        const auto count = [&](sr::StepKind kind) {
            return std::count_if(plan.steps.begin(), plan.steps.end(),
                                 [&](const sr::Step& s) { return s.kind == kind; });
        };
        EXPECT_EQ(count(sr::StepKind::concat), 0);
        EXPECT_EQ(count(sr::StepKind::eltwise) + count(sr::StepKind::binary), 0)
            << "Relu, scaling and residual sums fuse into the convolutions";
        EXPECT_LE(plan.slotBytes.size(), 5u);
    }
    expectMatchesReference(b.bytes(), dims);
}
