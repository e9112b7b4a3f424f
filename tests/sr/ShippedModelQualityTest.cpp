// The shipped models, judged on pictures shrunk by 4 by area and enlarged again: each must keep
// what it is chosen for. The illustration model reconstructs clean outlines (it beats bicubic in
// PSNR); the photo model is a GAN that restores fine detail bicubic cannot, at the cost of some
// PSNR, so it is held to detail, colour fidelity and tile seams instead.

#include "core/CancelToken.h"
#include "sr/Model.h"
#include "sr/Upscaler.h"

#include "TestSupport.h"

#include <QPainter>
#include <QPainterPath>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

std::shared_ptr<Model> shippedModel(const QString& name)
{
    return Model::load(QStringLiteral(TOLVANE_SOURCE_DIR "/resources/Models/") + name + ".onnx");
}

QImage enlarge(const QImage& image, Model& model)
{
    return Upscaler::upscale4x(image, model, CancelToken(), [] {});
}

cv::Mat toMat(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    return cv::Mat(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                   size_t(rgb.bytesPerLine()))
        .clone();
}

QImage toImage(const cv::Mat& mat)
{
    return QImage(mat.data, mat.cols, mat.rows, qsizetype(mat.step), QImage::Format_RGB888).copy();
}

QImage photo(const QString& name)
{
    const QImage image(TestSupport::testFile("data/" + name));
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    return image;
}

// An original, its 4x area reduction, and that reduction enlarged by bicubic and by a model.
struct Enlargements {
    cv::Mat original;
    cv::Mat bicubic;
    cv::Mat model;
};

Enlargements enlargeShrunk(const QImage& original, const QString& modelName)
{
    Enlargements result;
    result.original = toMat(original);
    cv::Mat small;
    cv::resize(result.original, small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    cv::resize(small, result.bicubic, result.original.size(), 0, 0, cv::INTER_CUBIC);
    result.model = toMat(enlarge(toImage(small), *shippedModel(modelName)));
    return result;
}

// Mean absolute 4-neighbour Laplacian of the luma: how much fine detail a picture holds.
double fineDetail(const cv::Mat& rgb)
{
    cv::Mat grey;
    cv::Mat laplacian;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    grey.convertTo(grey, CV_32F);
    cv::Laplacian(grey, laplacian, CV_32F, 1, 1, 0, cv::BORDER_REPLICATE);
    return cv::mean(cv::abs(laplacian))[0];
}

// Flat colours inside dark anti-aliased outlines, as in a cartoon.
QImage lineDrawing()
{
    QImage image(192, 192, QImage::Format_RGB32);
    image.fill(QColor(250, 236, 196));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 24, 40), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(214, 60, 48));
    painter.drawEllipse(QPointF(64, 70), 44, 40);
    painter.setBrush(QColor(60, 96, 200));
    painter.drawRoundedRect(QRectF(96, 100, 80, 70), 14, 14);
    painter.setBrush(QColor(90, 182, 92));
    painter.drawPolygon(QPolygonF{QPointF(20, 180), QPointF(70, 110), QPointF(110, 176)});
    QPainterPath hair;
    hair.moveTo(120, 20);
    hair.cubicTo(150, 60, 170, 10, 180, 80);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(hair);
    return image;
}

} // namespace

TEST(ShippedModels, IllustrationModelBeatsBicubicOnALineDrawing)
{
    const Enlargements e = enlargeShrunk(lineDrawing(), "IllustrationX4");
    const double model = cv::PSNR(e.model, e.original);
    const double bicubic = cv::PSNR(e.bicubic, e.original);
    EXPECT_GT(model, bicubic + 0.5) << model << " vs bicubic " << bicubic;
}

TEST(ShippedModels, PhotoModelRestoresFineDetailWithoutShiftingColour)
{
    const Enlargements e = enlargeShrunk(photo("astronaut-348.png"), "PhotoX4");
    const double original = fineDetail(e.original);
    const double model = fineDetail(e.model) / original;
    const double bicubic = fineDetail(e.bicubic) / original;
    EXPECT_GE(model, 2 * bicubic) << "detail " << model << " vs bicubic " << bicubic;

    const cv::Scalar shift = cv::mean(e.model) - cv::mean(e.original);
    for (int k = 0; k < 3; ++k)
        EXPECT_LE(std::abs(shift[k]), 3.0) << "channel " << k;
}

// Where two tiles meet, each saw only a 12-pixel margin of the other's pixels. Compared with one
// pass over a crop centred on the meeting point, which sees everything around it, the tiled
// result may differ only slightly. The network looks 34 source pixels around each pixel, so
// away from the crop's own edges the single pass is exact.
TEST(ShippedModels, PhotoModelTileSeamsStayCloseToOnePass)
{
    const QImage source = photo("astronaut-348.png"); // two by two tiles meeting at 232, 232
    ASSERT_EQ(source.size(), QSize(348, 348));
    const auto model = shippedModel("PhotoX4");
    const cv::Mat tiled = toMat(enlarge(source, *model));
    constexpr int cropOrigin = 116; // a 232-pixel crop runs as one tile
    const cv::Mat whole = toMat(enlarge(source.copy(cropOrigin, cropOrigin, 232, 232), *model));

    constexpr int reach = 34;
    const int first = 4 * (cropOrigin + reach);
    const int end = 4 * (source.width() - reach);
    const cv::Rect inTiled(first, first, end - first, end - first);
    const cv::Rect inWhole = inTiled - cv::Point(4 * cropOrigin, 4 * cropOrigin);

    cv::Mat difference;
    cv::absdiff(tiled(inTiled), whole(inWhole), difference);
    double largest = 0;
    cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
    EXPECT_LE(largest, 8.0);
    EXPECT_GT(largest, 0.0) << "the crop did not run as its own pass";
}
