#include "detail/CompareView.h"
#include "detail/CompareCanvas.h"
#include "detail/ComparePicture.h"
#include "kit/FitImage.h"
#include "kit/SegmentedControl.h"
#include "kit/Tag.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A one-pixel checker: shrunk, it must average to grey; sampled, it aliases into black, white
// and false patterns.
QImage fineChecker(QSize size)
{
    QImage fine(size, QImage::Format_RGB32);
    for (int y = 0; y < fine.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(fine.scanLine(y));
        for (int x = 0; x < fine.width(); ++x)
            row[x] = (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return fine;
}

// Points of `shot` away from grey, outside the divider's band around `dividerX`.
int offGrey(const QImage& shot, int dividerX)
{
    int off = 0;
    for (int y = 4; y < shot.height() - 4; y += 3)
        for (int x = 4; x < shot.width() - 4; x += 3) {
            if (std::abs(x - dividerX) < 6)
                continue;
            off += std::abs(qGray(shot.pixel(x, y)) - 128) > 16 ? 1 : 0;
        }
    return off;
}

// Adds up the area, in device pixels, that every drawing call asks for before any clip: what a
// paint costs.
class AreaCounter : public QPaintDevice {
public:
    qreal area() const { return m_engine.area; }
    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 1 << 20;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        case PdmDepth:
            return 32;
        default:
            return 1 << 16;
        }
    }

private:
    struct Engine : QPaintEngine {
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        Type type() const override { return User; }
        void updateState(const QPaintEngineState& state) override
        {
            if (state.state() & DirtyTransform)
                transform = state.transform();
        }
        void drawRects(const QRectF* rects, int count) override
        {
            for (int i = 0; i < count; ++i)
                add(rects[i]);
        }
        void drawRects(const QRect* rects, int count) override
        {
            for (int i = 0; i < count; ++i)
                add(rects[i]);
        }
        void drawPath(const QPainterPath& path) override { add(path.boundingRect()); }
        void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override
        {
            add(QPolygonF(QList<QPointF>(points, points + count)).boundingRect());
        }
        void drawPixmap(const QRectF& target, const QPixmap&, const QRectF&) override
        {
            add(target);
        }
        void drawImage(const QRectF& target, const QImage&, const QRectF&,
                       Qt::ImageConversionFlags) override
        {
            add(target);
        }
        void add(const QRectF& rect)
        {
            const QRectF mapped = transform.mapRect(rect);
            area += mapped.width() * mapped.height();
        }

        QTransform transform;
        qreal area = 0;
    };
    mutable Engine m_engine;
};

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

// A one-pixel checker shrunk about five times averages to grey everywhere, also while a new
// size's copies are being made.
TEST(CompareCanvas, ShrinksPreviewsByAveragingTheirArea)
{
    const QImage fine = fineChecker({2048, 1024});
    CompareCanvas canvas;
    canvas.resize(400, 200);
    canvas.setDisplayedSize({400, 200});
    QSignalSpy reduced(&canvas, &CompareCanvas::reduced);
    canvas.setImages(fine, fine);
    canvas.show();
    ASSERT_TRUE(reduced.wait(5000));
    EXPECT_TRUE(canvas.isReduced());
    EXPECT_EQ(offGrey(canvas.grab().toImage(), 200), 0);

    // A new displayed size gets its own copies; until then the previous ones are stretched.
    canvas.resize(800, 400);
    canvas.setDisplayedSize({800, 400});
    EXPECT_FALSE(canvas.isReduced());
    EXPECT_EQ(offGrey(canvas.grab().toImage(), 400), 0);
    ASSERT_TRUE(reduced.wait(5000));
    EXPECT_TRUE(canvas.isReduced());
    EXPECT_EQ(offGrey(canvas.grab().toImage(), 400), 0);
}

// Before the first copies are ready the picture area shows what it was given to show meanwhile,
// never the previews shrunk by sampling.
TEST(ComparePicture, ShowsThePictureOnceItCanBeDrawnWithoutAliasing)
{
    QImage shown(60, 30, QImage::Format_RGB32);
    shown.fill(Qt::red);
    ComparePicture picture;
    picture.resize(424, 324);
    picture.setPlaceholder(shown);
    picture.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picture));
    EXPECT_TRUE(picture.placeholder()->isVisible());

    const QImage fine = fineChecker({2048, 1024});
    QSignalSpy reduced(picture.canvas(), &CompareCanvas::reduced);
    picture.setImages(fine, fine, fine.size());
    EXPECT_FALSE(picture.isShowingPicture());
    EXPECT_EQ(picture.placeholder()->image(), shown);
    ASSERT_TRUE(reduced.wait(5000));
    EXPECT_TRUE(picture.isShowingPicture());
}

// Dragging the divider at 8× in a large window: a repaint of what shows asks for no more than
// at the fitted size, and a drag step repaints only a narrow band.
TEST(CompareCanvas, PaintsOnlyWhatShowsAtAnyZoom)
{
    QImage image(2000, 1125, QImage::Format_ARGB32);
    image.fill(QColor(40, 90, 160, 200));
    ComparePicture picture;
    picture.resize(2560, 1440);
    picture.setImages(image, image, image.size());
    picture.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picture));
    ASSERT_TRUE(QTest::qWaitFor([&] { return picture.isShowingPicture(); }, 5000));
    CompareCanvas* canvas = picture.canvas();

    QRegion painted;
    struct PaintWatch : QObject {
        QRegion* region;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                *region += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } watch;
    watch.region = &painted;
    canvas->installEventFilter(&watch);

    // The cost of painting all that shows, relative to its area, and of one drag step.
    auto measure = [&](qreal& repaint, qreal& dragStep) {
        QTest::qWait(0);
        const QRect shows = canvas->visibleRegion().boundingRect();
        const qreal area = qreal(shows.width()) * shows.height();
        AreaCounter counter;
        canvas->render(&counter, QPoint(), QRegion(shows), {});
        repaint = counter.area() / area;
        const QPoint at(int(canvas->pictureRect().x() + canvas->pictureRect().width() / 2),
                        shows.center().y());
        QTest::mousePress(canvas, Qt::LeftButton, {}, at);
        QTest::qWait(0);
        painted = {};
        QTest::mouseMove(canvas, at + QPoint(3, 0));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, at + QPoint(3, 0));
        QTest::qWait(20);
        const QRect band = painted.boundingRect();
        dragStep = qreal(band.width()) * band.height() / area;
    };
    qreal fitRepaint = 0, fitStep = 0;
    measure(fitRepaint, fitStep);
    picture.setZoom(8);
    QScrollArea* scroll = picture.scrollArea();
    scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum() / 2);
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum() / 2);
    qreal zoomedRepaint = 0, zoomedStep = 0;
    measure(zoomedRepaint, zoomedStep);

    EXPECT_LT(zoomedRepaint, 4.0) << "checker, result, source and divider over what shows";
    EXPECT_LT(zoomedRepaint, 1.5 * fitRepaint);
    EXPECT_GT(zoomedStep, 0.0);
    EXPECT_LT(zoomedStep, 0.02);
    EXPECT_LT(fitStep, 0.02);
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
