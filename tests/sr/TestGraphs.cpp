#include "TestGraphs.h"

#include <QDir>
#include <algorithm>
#include <cmath>

// Every supported operation in the combinations the converter emits and a few it might: fused
// and unfused element-wise tails, a dense block concatenated in place, a concatenation that
// cannot be (3 + 5 channels), both depth-to-space orders, nearest enlargement and the clamp.
std::string everyOperation(const OnnxBuilder::Dims& dims)
{
    OnnxBuilder b(dims);
    const std::string a = b.conv("input", 3, 16);
    const std::string r = b.node("Relu", {a});
    const std::string c = b.conv(r, 16, 16);
    const std::string p = b.node("PRelu", {c, b.random({16, 1, 1}, 0.5f)});
    std::string dense = p;
    for (std::int64_t channels = 16; channels < 48; channels += 16)
        dense = b.node("Concat", {dense, b.node("Relu", {b.conv(dense, channels, 16)})},
                       {OnnxBuilder::integer("axis", 1)});
    const std::string lff = b.conv(dense, 48, 16);
    const std::string scaled = b.node("Mul", {b.node("Add", {p, lff}), b.constant({1}, {0.2f})});
    const std::string d1 = b.node("Sub", {b.node("Add", {scaled, a}), c});
    const std::string d2 = b.node("Sub", {c, d1});
    const std::string shifted = b.node("Sub", {b.constant({1}, {0.25f}), d2});
    const std::string mixed = b.node("Concat", {b.conv(shifted, 16, 3), b.conv(shifted, 16, 5)},
                                     {OnnxBuilder::integer("axis", 1)});
    const std::string dcr =
        b.node("DepthToSpace", {b.conv(mixed, 8, 48)}, {OnnxBuilder::integer("blocksize", 4)});
    const std::string crd =
        b.node("DepthToSpace", {b.conv(mixed, 8, 48)},
               {OnnxBuilder::integer("blocksize", 4), OnnxBuilder::text("mode", "CRD")});
    const std::string up =
        b.node("Resize", {"input", b.constant({0}, {}), b.constant({4}, {1, 1, 4, 4})},
               {OnnxBuilder::text("mode", "nearest"),
                OnnxBuilder::text("coordinate_transformation_mode", "asymmetric"),
                OnnxBuilder::text("nearest_mode", "floor")});
    const std::string sum = b.node("Add", {b.node("Add", {dcr, crd}), up});
    const std::string one = b.constant({1}, {1.0f});
    const std::string low = b.node("Relu", {b.node("Sub", {one, b.node("Relu", {sum})})});
    b.output(b.node("Sub", {one, low}, {}, "output"), {1, 3, dims[2] * 4, dims[3] * 4});
    return b.bytes();
}


std::string unusualConvolutions(const OnnxBuilder::Dims& dims)
{
    using B = OnnxBuilder;
    OnnxBuilder b(dims);
    const auto conv = [&](const std::string& x, B::Dims shape, std::vector<onnx::AttributeProto> a) {
        const float scale = 1.0f / float(shape[1] * shape[2] * shape[3]);
        return b.node("Conv", {x, b.random(shape, 2 * scale), b.random({shape[0]}, 0.1f)}, a);
    };
    const std::string pointwise = conv("input", {5, 3, 1, 1}, {});
    const std::string slopes = b.node("PRelu", {pointwise, b.random({5, 1, 1}, 0.5f)});
    const std::string square = b.conv(slopes, 5, 6);
    const std::string dilated = conv(square, {7, 6, 5, 3},
                                     {B::ints("dilations", {2, 1}), B::ints("pads", {4, 1, 4, 1})});
    const std::string joined = b.node("Concat", {dilated, "input"}, {B::integer("axis", 1)});
    const std::string unfused = b.node("PRelu", {joined, b.random({10, 1, 1}, 0.5f)});
    const std::string strided = conv(unfused, {4, 10, 3, 3},
                                     {B::ints("strides", {2, 2}), B::ints("pads", {1, 0, 1, 0})});
    const std::string squared = b.node("Mul", {strided, strided});
    const std::string out =
        b.node("Add", {squared, b.constant({1}, {-0.5f})}, {}, "output");
    b.output(out, {1, 4, (dims[2] - 1) / 2 + 1, (dims[3] - 3) / 2 + 1});
    return b.bytes();
}

std::vector<float> runOnce(sr::Executor& network, const std::vector<float>& input)
{
    std::copy(input.begin(), input.end(), network.input());
    const float* out = network.run();
    const sr::Shape s = network.outputShape();
    return std::vector<float>(out, out + s[0] * s[1] * s[2] * s[3]);
}

float maxDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return INFINITY;
    float worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i])); // NaN never counts as worse: check below
    return std::any_of(a.begin(), a.end(), [](float v) { return std::isnan(v); }) ? INFINITY
                                                                                  : worst;
}

QStringList shippedAndTestModels()
{
    QStringList paths;
    for (const QString& folder : {QStringLiteral(TOLVANE_SOURCE_DIR "/resources/Models"),
                                 QStringLiteral(TOLVANE_TESTS_DIR "/data/models")})
        for (const QString& name : QDir(folder).entryList({"*.onnx"}))
            paths.append(folder + "/" + name);
    return paths;
}
