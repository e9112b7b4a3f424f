#include "Bench.h"

#include "ui/detail/CompareCanvas.h"
#include "ui/detail/ComparePicture.h"
#include "ui/kit/Checkerboard.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <ctime>

namespace {

constexpr int side = 4096;
constexpr int moves = 200;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// A 4096-pixel preview with fine detail: rings that tighten towards the edge.
QImage zonePlate()
{
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            const double dx = x - side / 2.0, dy = y - side / 2.0;
            const int v = int(127.5 + 127.5 * std::cos((dx * dx + dy * dy) * 3.14159 / side));
            row[x] = qRgb(v, v, v);
        }
    }
    return image;
}

// What a drag cost when both previews were drawn shrunk on every paint: the old paint, less the
// divider.
double msPerSampledPaint(const QImage& preview, QImage& target, QRectF picture)
{
    const QPixmap before = QPixmap::fromImage(preview);
    const QPixmap after = QPixmap::fromImage(preview);
    const double start = threadCpuMs();
    for (int i = 0; i < moves; ++i) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.save();
        painter.translate(picture.topLeft());
        painter.setClipRect(QRectF(QPointF(), picture.size()));
        Checkerboard::paint(painter, picture.size());
        painter.restore();
        painter.drawPixmap(picture, after, after.rect());
        painter.setClipRect(QRectF(picture.topLeft(), QSizeF(picture.width() * (i % 100) / 100.0,
                                                              picture.height())));
        painter.drawPixmap(picture, before, before.rect());
    }
    return (threadCpuMs() - start) / moves;
}

// CPU time of the GUI thread per pointer move of a divider drag, the whole paint included.
double msPerMove(CompareCanvas& canvas, QImage& target)
{
    const QRectF picture = canvas.pictureRect();
    QTest::mousePress(&canvas, Qt::LeftButton, {}, picture.center().toPoint());
    const double start = threadCpuMs();
    for (int i = 0; i < moves; ++i) {
        const QPointF at(picture.left() + picture.width() * (i % 100) / 100.0, picture.center().y());
        QMouseEvent move(QEvent::MouseMove, at, canvas.mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&canvas, &move);
        canvas.render(&target);
    }
    const double ms = (threadCpuMs() - start) / moves;
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, picture.center().toPoint());
    return ms;
}

void compareDrag()
{
    const QImage preview = zonePlate();
    CompareCanvas canvas;
    canvas.resize(640, 640);
    canvas.setDisplayedSize({616, 616});
    QSignalSpy reduced(&canvas, &CompareCanvas::reduced);
    canvas.setImages(preview, preview);
    if (!reduced.wait(10000)) {
        report(QStringLiteral("  no reduced copies"));
        return;
    }
    QImage target(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::black);
    const double sampled = msPerSampledPaint(preview, target, canvas.pictureRect());
    const double averaged = msPerMove(canvas, target);
    report(QStringLiteral("  divider drag over two %1-px previews shown at 616 × 616, CPU per "
                          "pointer move: %2 ms sampling the previews, %3 ms from the reduced "
                          "copies")
               .arg(side)
               .arg(sampled, 0, 'f', 2)
               .arg(averaged, 0, 'f', 2));
}

// CPU time of the GUI thread per pointer move in a 2560 × 1440 picture area, with the repaint the
// move causes, at Fit and at 8× scrolled to the middle.
void compareZoomedDrag()
{
    const QImage preview = zonePlate().scaled(side, side * 9 / 16);
    ComparePicture picture;
    picture.resize(2560, 1440);
    picture.setImages(preview, preview, preview.size());
    picture.show();
    if (!QTest::qWaitFor([&] { return picture.isShowingPicture(); }, 10000)) {
        report(QStringLiteral("  no reduced copies"));
        return;
    }
    CompareCanvas* canvas = picture.canvas();
    // Waiting for a paint costs the thread no time; the paint itself does.
    struct PaintWatch : QObject {
        bool painted = false;
        bool eventFilter(QObject*, QEvent* event) override
        {
            painted = painted || event->type() == QEvent::Paint;
            return false;
        }
    } watch;
    canvas->installEventFilter(&watch);
    auto msPerRepaintedMove = [&] {
        QTest::qWait(50);
        const QRect shows = canvas->visibleRegion().boundingRect();
        const QPointF from(canvas->pictureRect().center().x() - 100, shows.center().y());
        QTest::mousePress(canvas, Qt::LeftButton, {}, from.toPoint());
        QTest::qWait(50);
        const double start = threadCpuMs();
        for (int i = 0; i < moves; ++i) {
            const QPointF at = from + QPointF(i % 100 * 2 + 1, 0);
            QMouseEvent move(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            watch.painted = false;
            QCoreApplication::sendEvent(canvas, &move);
            (void)QTest::qWaitFor([&] { return watch.painted; }, 1000);
        }
        const double ms = (threadCpuMs() - start) / moves;
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, from.toPoint());
        return ms;
    };
    const double fit = msPerRepaintedMove();
    picture.setZoom(8);
    QScrollArea* scroll = picture.scrollArea();
    scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum() / 2);
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum() / 2);
    const double zoomed = msPerRepaintedMove();
    report(QStringLiteral("  divider drag in a 2560 × 1440 picture area, CPU per pointer move "
                          "with its repaint: %1 ms at Fit, %2 ms at 8×")
               .arg(fit, 0, 'f', 2)
               .arg(zoomed, 0, 'f', 2));
}

const BenchRegistration registration("compare", compareDrag);
const BenchRegistration zoomedRegistration("compare-zoom", compareZoomedDrag);

} // namespace
