#include "detail/VectorPreview.h"
#include "detail/SvgRaster.h"
#include "detail/VectorCanvas.h"
#include "kit/Checkerboard.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <future>
#include <gtest/gtest.h>

namespace {

const QByteArray declaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";

// A 100 × 100 document: a red square on the left half, then `extra` inside the svg element.
QByteArray document(const QByteArray& extra = {})
{
    return declaration + "\n" +
           R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" )"
           R"(width="100" height="100" viewBox="0 0 100 100">)"
           R"(<path d="M0 0L50 0L50 100L0 100Z" fill="#ff0000"/>)" +
           extra + "</svg>";
}

QByteArray pngDataUrl()
{
    QImage green(4, 4, QImage::Format_RGB32);
    green.fill(Qt::green);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    green.save(&buffer, "PNG");
    return "data:image/png;base64," + png.toBase64();
}

class VectorPreviewTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // The document drawn at 200 × 200 with its drawing in the box 20…180.
    QImage drawn(const QByteArray& text)
    {
        auto raster = SvgRaster::parse(text);
        EXPECT_TRUE(raster);
        return raster ? raster->render({200, 200}) : QImage();
    }

    QTemporaryDir m_dir;
};

TEST_F(VectorPreviewTest, RefusesLargeOrInvalidFiles)
{
    const QByteArray base = document();
    QByteArray exact = base;
    exact.insert(base.indexOf("<path"), QByteArray(VectorPreview::maxBytes - base.size(), ' '));
    ASSERT_EQ(exact.size(), VectorPreview::maxBytes);
    EXPECT_TRUE(VectorPreview::prepare(write("exact.svg", exact)));
    exact.insert(base.indexOf("<path"), ' ');
    EXPECT_FALSE(VectorPreview::prepare(write("over.svg", exact)));

    QByteArray broken = base;
    broken.insert(base.indexOf("<path"), "<!-- \xff\xfe -->");
    EXPECT_FALSE(VectorPreview::prepare(write("broken.svg", broken)));
    EXPECT_FALSE(VectorPreview::prepare(m_dir.filePath("missing.svg")));

    // A FIFO where the traced file was is not waited on.
    TestSupport::Fifos fifos(m_dir.filePath("spare"));
    const QString fifo = m_dir.filePath("fifo.svg");
    fifos.swapIn(fifo);
    auto prepared = std::async(std::launch::async, [&] { return VectorPreview::prepare(fifo); });
    const bool answered = prepared.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    fifos.releaseWhile(
        [&] { return prepared.wait_for(std::chrono::seconds(0)) != std::future_status::ready; });
    EXPECT_TRUE(answered) << "waited on the FIFO";
    EXPECT_FALSE(prepared.get());
}

TEST_F(VectorPreviewTest, RemovesOnlyTheExactDeclaration)
{
    const auto twice = VectorPreview::prepare(write("twice.svg", declaration + document()));
    ASSERT_TRUE(twice);
    EXPECT_FALSE(twice->contains("<?xml"));

    const QByteArray single = R"(<?xml version='1.0' encoding='UTF-8'?>)";
    const auto kept =
        VectorPreview::prepare(write("single.svg", single + document().mid(declaration.size())));
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->startsWith(single));
}

TEST_F(VectorPreviewTest, DrawsOnlyImagesFromDataUrls)
{
    const QString outside = write("green.png", QByteArray());
    QImage(4, 4, QImage::Format_RGB32).save(outside);
    const QByteArray references[] = {
        "xlink:href=\"" + outside.toUtf8() + "\"",
        "href=\"file://" + outside.toUtf8() + "\"",
        "href=\"green.png\"",
        "xlink:href=\"http://127.0.0.1:9/green.png\"",
        "x:href=\"green.png\" xmlns:x=\"http://www.w3.org/1999/xlink\"",
    };
    for (const QByteArray& reference : references) {
        const QByteArray svg =
            document("<image x=\"50\" y=\"0\" width=\"50\" height=\"100\" " + reference + "/>");
        const auto text = VectorPreview::prepare(write("ref.svg", svg));
        ASSERT_TRUE(text);
        EXPECT_FALSE(text->contains("<image")) << reference.constData();
    }
    const QByteArray inlined =
        document("<image x=\"50\" y=\"0\" width=\"50\" height=\"100\" preserveAspectRatio=\"none\" "
                 "xlink:href=\"" +
                 pngDataUrl() + "\"/>");
    const auto text = VectorPreview::prepare(write("inline.svg", inlined));
    ASSERT_TRUE(text);
    const QImage image = drawn(*text);
    EXPECT_EQ(QColor(image.pixel(60, 100)), QColor(Qt::red));
    EXPECT_EQ(QColor(image.pixel(140, 100)), QColor(Qt::green));
}

TEST_F(VectorPreviewTest, ScriptsNeverRun)
{
    // librsvg has no script engine; the markup must still draw and nothing may be loaded.
    const QByteArray svg =
        document("<script>document.location='http://127.0.0.1:9/'</script>"
                 "<rect x=\"50\" y=\"0\" width=\"50\" height=\"100\" fill=\"#0000ff\" "
                 "onload=\"alert(1)\"/>");
    const QImage image = drawn(*VectorPreview::prepare(write("script.svg", svg)));
    EXPECT_EQ(QColor(image.pixel(140, 100)), QColor(Qt::blue));
}

TEST_F(VectorPreviewTest, DrawsPathsOfManyThousandPointsWhole)
{
    // One path of 40,000 segments zigzagging across the top, then a block at the bottom right:
    // a renderer that cuts long paths would miss the block.
    QByteArray path = "<path fill=\"#0000ff\" d=\"M0 0";
    for (int i = 1; i <= 40000; ++i)
        path += (i % 2 ? "L100 " : "L0 ") + QByteArray::number(i * 0.001, 'f', 3);
    path += "ZM60 60L100 60L100 100L60 100Z\"/>";
    const QImage image = drawn(document(path));
    EXPECT_EQ(QColor(image.pixel(170, 170)), QColor(Qt::blue));
}

TEST_F(VectorPreviewTest, PaintsThePageCheckerboardLightAtTheOrigin)
{
    QImage page(48, 24, QImage::Format_ARGB32_Premultiplied);
    SvgRaster::paintPage(page);
    EXPECT_EQ(QColor(page.pixel(1, 1)), QColor(0xee, 0xea, 0xe1));
    EXPECT_EQ(QColor(page.pixel(13, 1)), QColor(0xda, 0xdb, 0xd3));
    EXPECT_EQ(QColor(page.pixel(1, 13)), QColor(0xda, 0xdb, 0xd3));
    EXPECT_EQ(QColor(page.pixel(13, 13)), QColor(0xee, 0xea, 0xe1));

    // Squares of 12 points: 24 pixels on a screen of pixel ratio 2.
    QImage sharp(96, 48, QImage::Format_ARGB32_Premultiplied);
    sharp.setDevicePixelRatio(2);
    SvgRaster::paintPage(sharp);
    EXPECT_EQ(QColor(sharp.pixel(23, 1)), QColor(0xee, 0xea, 0xe1));
    EXPECT_EQ(QColor(sharp.pixel(25, 1)), QColor(0xda, 0xdb, 0xd3));
    EXPECT_EQ(QColor(sharp.pixel(1, 25)), QColor(0xda, 0xdb, 0xd3));
}

TEST_F(VectorPreviewTest, ReadsTheFileOncePerView)
{
    const QString path = write("once.svg", document());
    const int reads = VectorPreview::readCount();
    VectorPreview view(path);
    view.resize(300, 300);
    view.show();
    QSignalSpy rendered(view.canvas(), &VectorCanvas::rendered);
    ASSERT_TRUE(rendered.wait(5000));
    view.resize(400, 360);
    ASSERT_TRUE(rendered.wait(5000));
    view.update();
    QTest::qWait(20);
    EXPECT_EQ(VectorPreview::readCount(), reads + 1);
    EXPECT_EQ(view.canvas()->raster().size(), view.canvas()->size());
}

TEST(Checkerboard, FillsEvenCellsFromTheTopLeft)
{
    QImage image(25, 15, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        Checkerboard::paint(painter, image.size());
    }
    for (const QPoint filled : {QPoint(0, 0), QPoint(20, 0), QPoint(10, 10), QPoint(24, 4)})
        EXPECT_GT(qAlpha(image.pixel(filled)), 0) << filled.x() << "," << filled.y();
    for (const QPoint empty : {QPoint(10, 0), QPoint(0, 10), QPoint(20, 10)})
        EXPECT_EQ(qAlpha(image.pixel(empty)), 0) << empty.x() << "," << empty.y();

    QImage none(10, 10, QImage::Format_ARGB32_Premultiplied);
    none.fill(Qt::transparent);
    {
        QPainter painter(&none);
        Checkerboard::paint(painter, QSizeF(0, 10));
        Checkerboard::paint(painter, QSizeF(10, 0));
    }
    EXPECT_EQ(qAlpha(none.pixel(0, 0)), 0);
}

} // namespace
