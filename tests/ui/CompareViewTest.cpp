#include "detail/CompareView.h"
#include "detail/CompareCanvas.h"
#include "detail/ComparePicture.h"
#include "kit/SegmentedControl.h"
#include "kit/Tag.h"

#include <QScrollArea>
#include <QScrollBar>
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

    // The tags stay in the corners while the picture scrolls.
    scroll->horizontalScrollBar()->setValue(100);
    scroll->verticalScrollBar()->setValue(50);
    EXPECT_EQ(view->picture()->beforeTag()->pos(), QPoint(0, 0));
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
