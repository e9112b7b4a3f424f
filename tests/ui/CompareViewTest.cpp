#include "detail/CompareView.h"
#include "detail/CompareCanvas.h"
#include "detail/ComparePicture.h"
#include "kit/SegmentedControl.h"
#include "kit/Tag.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(ComparePicture, FitsTheResultInsideTheMargins)
{
    EXPECT_EQ(ComparePicture::fitted({424, 324}, {2000, 1000}), QSizeF(400, 200));
    EXPECT_EQ(ComparePicture::fitted({424, 324}, {1000, 2000}), QSizeF(150, 300));
    // Too small an area, or no pixel size: one point.
    EXPECT_EQ(ComparePicture::fitted({424, 24}, {2000, 1000}), QSizeF(1, 1));
    EXPECT_EQ(ComparePicture::fitted({424, 324}, {0, 0}), QSizeF(1, 1));
    EXPECT_EQ(ComparePicture::fitted({424, 324}, {2000, 0}), QSizeF(1, 1));
}

class CompareViewTest : public ::testing::Test {
protected:
    QString picture(const QString& name, QColor colour, QSize size)
    {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(colour);
        const QString path = m_dir.filePath(name);
        image.save(path);
        return path;
    }

    // A comparison of a red source and a blue result, loaded, with a picture area of 424 × 324.
    std::unique_ptr<CompareView> loaded(QColor after = Qt::blue)
    {
        auto view = std::make_unique<CompareView>(picture("before.png", Qt::red, {200, 100}),
                                                  picture("after.png", after, {2000, 1000}));
        view->resize(424, 600);
        view->show();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return view->picture()->scrollArea()->isVisible(); }, 5000));
        view->picture()->resize(424, 324);
        return view;
    }

    QTemporaryDir m_dir;
};

TEST_F(CompareViewTest, CentresTheFittedPictureAndScrollsWhenMagnified)
{
    auto view = loaded();
    CompareCanvas* canvas = view->picture()->canvas();
    EXPECT_EQ(canvas->pictureRect(), QRectF(12, 62, 400, 200));
    view->zoomControl()->setCurrentIndex(1);
    view->picture()->setZoom(2);
    EXPECT_EQ(canvas->displayedSize(), QSizeF(800, 400));
    QScrollArea* scroll = view->picture()->scrollArea();
    QTest::qWait(0);
    EXPECT_GT(scroll->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);

    // The tags stay in the corners of what shows while the picture scrolls, clear of the bar.
    scroll->horizontalScrollBar()->setValue(100);
    scroll->verticalScrollBar()->setValue(50);
    QScrollBar* bar = scroll->verticalScrollBar();
    const QRect barRect(bar->mapTo(view->picture(), QPoint(0, 0)), bar->size());
    const QRect after = view->picture()->afterTag()->geometry();
    EXPECT_EQ(view->picture()->beforeTag()->pos(), QPoint(0, 0));
    EXPECT_EQ(after.right(), scroll->viewport()->geometry().right());
    EXPECT_FALSE(after.intersects(barRect));

    // Back at the fitted size, the bar goes and the tag returns to the corner.
    view->picture()->setZoom(1);
    QTest::qWait(0);
    EXPECT_EQ(view->picture()->afterTag()->geometry().right(), view->picture()->width() - 1);
}

TEST_F(CompareViewTest, ShowsTheSourceLeftOfTheDividerAndTheResultRightOfIt)
{
    auto view = loaded();
    const QImage shot = view->picture()->canvas()->grab().toImage();
    // The divider's left edge lies one point left of the middle, at 12 + 200 - 1.
    EXPECT_EQ(QColor(shot.pixel(211, 160)), QColor(Qt::white));
    EXPECT_EQ(QColor(shot.pixel(180, 160)), QColor(Qt::red));
    EXPECT_EQ(QColor(shot.pixel(250, 160)), QColor(Qt::blue));
}

TEST_F(CompareViewTest, ATransparentResultShowsTheChecker)
{
    auto view = loaded(Qt::transparent);
    const QImage shot = view->picture()->canvas()->grab().toImage();
    // Right of the divider, the first cell of the picture is grey, the next one empty.
    const QColor filled = shot.pixel(12 + 282, 62 + 2);
    const QColor empty = shot.pixel(12 + 292, 62 + 2);
    EXPECT_NE(filled, empty);
}

// A one-pixel checker shrunk about five times averages to grey everywhere; sampling it would
// leave black, white and false patterns.
TEST(CompareCanvas, ShrinksPreviewsByAveragingTheirArea)
{
    QImage fine(2048, 1024, QImage::Format_RGB32);
    for (int y = 0; y < fine.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(fine.scanLine(y));
        for (int x = 0; x < fine.width(); ++x)
            row[x] = (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    CompareCanvas canvas;
    canvas.resize(400, 200);
    canvas.setDisplayedSize({400, 200});
    QSignalSpy reduced(&canvas, &CompareCanvas::reduced);
    canvas.setImages(fine, fine);
    canvas.show();
    ASSERT_TRUE(reduced.wait(5000));
    EXPECT_TRUE(canvas.isReduced());
    const QImage shot = canvas.grab().toImage();
    int off = 0;
    for (int y = 4; y < 196; y += 3)
        for (int x = 4; x < 396; x += 3) {
            if (std::abs(x - 200) < 6)
                continue; // the divider
            const int grey = qGray(shot.pixel(x, y));
            off += std::abs(grey - 128) > 16 ? 1 : 0;
        }
    EXPECT_EQ(off, 0);

    // A new displayed size gets its own copies.
    canvas.setDisplayedSize({200, 100});
    EXPECT_FALSE(canvas.isReduced());
    ASSERT_TRUE(reduced.wait(5000));
    EXPECT_TRUE(canvas.isReduced());
}

TEST_F(CompareViewTest, DragsAndTheSliderMoveOneSplit)
{
    auto view = loaded();
    CompareCanvas* canvas = view->picture()->canvas();
    // A press in the margin around the picture does nothing.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(5, 100));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(5, 100));
    EXPECT_EQ(view->split(), 0.5);

    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(112, 100));
    EXPECT_DOUBLE_EQ(view->split(), 0.25);
    EXPECT_EQ(view->slider()->value(), 2500);
    QTest::mouseMove(canvas, QPoint(2, 100));
    EXPECT_EQ(view->split(), 0.0) << "pinned past the left edge";
    QTest::mouseMove(canvas, QPoint(420, 100));
    EXPECT_EQ(view->split(), 1.0) << "pinned past the right edge";
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(420, 100));

    view->slider()->setValue(3000);
    EXPECT_DOUBLE_EQ(view->split(), 0.3);
    // A zoom keeps the fraction.
    view->picture()->setZoom(8);
    EXPECT_DOUBLE_EQ(view->split(), 0.3);
    view->picture()->setZoom(1);
    EXPECT_DOUBLE_EQ(view->split(), 0.3);
}

TEST_F(CompareViewTest, PressesOnATagReachThePicture)
{
    auto view = loaded();
    Tag* tag = view->picture()->beforeTag();
    EXPECT_TRUE(tag->testAttribute(Qt::WA_TransparentForMouseEvents));
    const QPoint inTag = tag->geometry().center();
    EXPECT_NE(view->picture()->childAt(inTag), tag);
}

} // namespace
