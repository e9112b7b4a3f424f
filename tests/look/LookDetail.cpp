#include "Look.h"

#include "core/CancelToken.h"
#include "tracer/SVGVectorizer.h"
#include "ui/detail/CompareCanvas.h"
#include "ui/detail/ComparePicture.h"
#include "ui/detail/CompareView.h"
#include "ui/detail/SingleImageView.h"
#include "ui/detail/VectorCanvas.h"
#include "ui/detail/VectorPreview.h"
#include "ui/kit/SegmentedControl.h"

#include <QPainter>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QSize detailSize(640, 480);

QString workFile(const QString& name)
{
    static QTemporaryDir folder;
    return folder.filePath(name);
}

QString demoPhoto()
{
    return QStringLiteral(TOLVANE_SOURCE_DIR "/Brand/alpine-demo.png");
}

// The demo photo enlarged 2× smoothly, standing in for a model's result.
QString enlargedPhoto()
{
    const QString path = workFile(QStringLiteral("alpine-demo_2x.png"));
    if (!QFile::exists(path)) {
        const QImage photo(demoPhoto());
        photo.scaled(photo.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path);
    }
    return path;
}

// A result with a transparent background around a disc.
QString transparentResult()
{
    const QString path = workFile(QStringLiteral("disc_2x.png"));
    QImage image(1200, 800, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(240, 120, 60));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRect(300, 100, 600, 600));
    painter.end();
    image.save(path);
    return path;
}

// A plain picture of one colour, as large as a preview gets.
QString plainPicture(const QString& name, QColor colour)
{
    const QString path = workFile(name);
    if (!QFile::exists(path)) {
        QImage image(1600, 1000, QImage::Format_RGB32);
        image.fill(colour);
        image.save(path);
    }
    return path;
}

const QString longFailure = QStringLiteral(
    "Can't read 2026-08-14-the-long-summer-holiday-at-the-lake-house-with-everyone-again-late.png");

QString tracedPhoto()
{
    const QString path = workFile(QStringLiteral("alpine-demo.svg"));
    if (!QFile::exists(path)) {
        const CancelToken token;
        SVGVectorizer::write(QImage(demoPhoto()), path, token, [](double) {});
    }
    return path;
}

void waitForSingle(QWidget* widget)
{
    auto* view = static_cast<SingleImageView*>(widget);
    (void)QTest::qWaitFor([view] { return view->hasImage(); }, 5000);
}

void waitForCompare(QWidget* widget, int zoomIndex, double split)
{
    auto* view = static_cast<CompareView*>(widget);
    (void)QTest::qWaitFor([view] { return view->picture()->canvas()->isVisible(); }, 5000);
    if (zoomIndex > 0) {
        view->zoomControl()->setCurrentIndex(zoomIndex);
        view->picture()->setZoom(1 << zoomIndex);
    }
    view->slider()->setValue(int(split * 10000));
    QTest::qWait(50);
}

void waitForVector(QWidget* widget)
{
    auto* view = static_cast<VectorPreview*>(widget);
    (void)QTest::qWaitFor([view] { return !view->canvas()->raster().isNull(); }, 10000);
    QTest::qWait(300); // a resize while the first raster was drawn
}

const Look::Registration states{{
    {QStringLiteral("detail-single-loading"),
     [] {
         return new SingleImageView(workFile(QStringLiteral("gone.png")),
                                    QStringLiteral("Enhancing… 42%"));
     },
     detailSize},
    {QStringLiteral("detail-single-loaded"),
     [] {
         return new SingleImageView(demoPhoto(),
                                    QStringLiteral("Original · Choose a scale, then Enhance"));
     },
     detailSize, waitForSingle},
    {QStringLiteral("detail-compare-fit"),
     [] { return new CompareView(demoPhoto(), enlargedPhoto()); }, detailSize,
     [](QWidget* w) { waitForCompare(w, 0, 0.5); }},
    {QStringLiteral("detail-compare-4x-split-0.3"),
     [] { return new CompareView(demoPhoto(), enlargedPhoto()); }, detailSize,
     [](QWidget* w) { waitForCompare(w, 2, 0.3); }},
    // The source shown before stands in while the comparison gets ready (here: never).
    {QStringLiteral("detail-compare-standing-in"),
     [] {
         return new CompareView(workFile(QStringLiteral("gone.png")),
                                workFile(QStringLiteral("gone_2x.png")), QImage(demoPhoto()));
     },
     detailSize},
    {QStringLiteral("detail-compare-transparent"),
     [] { return new CompareView(transparentResult(), transparentResult()); }, detailSize,
     [](QWidget* w) { waitForCompare(w, 0, 0.3); }},
    {QStringLiteral("detail-single-long-failure"),
     [] { return new SingleImageView(demoPhoto(), longFailure); }, detailSize, waitForSingle},
    {QStringLiteral("detail-single-long-failure-minimum"),
     [] { return new SingleImageView(demoPhoto(), longFailure); }, QSize(400, 480), waitForSingle},
    {QStringLiteral("detail-single-markup-name"),
     [] {
         return new SingleImageView(workFile(QStringLiteral("gone.png")),
                                    QStringLiteral("Can't read <b>bold.png</b>"));
     },
     QSize(400, 300)},
    {QStringLiteral("detail-compare-white"),
     [] {
         return new CompareView(plainPicture(QStringLiteral("white.png"), Qt::white),
                                plainPicture(QStringLiteral("white_2x.png"), Qt::white));
     },
     detailSize, [](QWidget* w) { waitForCompare(w, 0, 0.5); }},
    {QStringLiteral("detail-compare-black"),
     [] {
         return new CompareView(plainPicture(QStringLiteral("black.png"), Qt::black),
                                plainPicture(QStringLiteral("black_2x.png"), Qt::black));
     },
     detailSize, [](QWidget* w) { waitForCompare(w, 0, 0.5); }},
    {QStringLiteral("detail-compare-white-8x"),
     [] {
         return new CompareView(plainPicture(QStringLiteral("white.png"), Qt::white),
                                plainPicture(QStringLiteral("white_2x.png"), Qt::white));
     },
     detailSize, [](QWidget* w) { waitForCompare(w, 3, 0.5); }},
    {QStringLiteral("detail-vector"), [] { return new VectorPreview(tracedPhoto()); }, detailSize,
     waitForVector},
}};

} // namespace
