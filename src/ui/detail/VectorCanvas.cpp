#include "VectorCanvas.h"

#include "SvgRaster.h"
#include "VectorPreview.h"
#include "core/Async.h"
#include "core/WorkPools.h"

#include <QPainter>
#include <QtConcurrent>

VectorCanvas::VectorCanvas(const QString& path, QWidget* parent) : QWidget(parent)
{
    auto parsed = QtConcurrent::run(&WorkPools::views(), [path]() -> std::shared_ptr<SvgRaster> {
        const auto text = VectorPreview::prepare(path);
        return text ? SvgRaster::parse(*text) : nullptr;
    });
    whenFinished(parsed, this, [this](std::shared_ptr<SvgRaster> document) {
        m_document = std::move(document);
        render();
    });
}

VectorCanvas::~VectorCanvas() = default;

QSize VectorCanvas::wantedSize() const
{
    return size() * devicePixelRatio();
}

void VectorCanvas::render()
{
    const QSize wanted = wantedSize();
    if (!m_document || m_rendering || wanted.isEmpty() || m_raster.size() == wanted)
        return;
    m_rendering = true;
    auto document = m_document;
    const qreal ratio = devicePixelRatio();
    auto image = QtConcurrent::run(
        &WorkPools::views(), [document, wanted, ratio] { return document->render(wanted, ratio); });
    whenFinished(image, this, [this](QImage raster) {
        m_rendering = false;
        if (raster.isNull())
            return; // tried again on the next resize
        m_raster = std::move(raster);
        update();
        if (m_raster.size() == wantedSize())
            Q_EMIT rendered();
        else
            render(); // resized while rendering
    });
}

void VectorCanvas::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    render();
}

void VectorCanvas::paintEvent(QPaintEvent*)
{
    if (m_raster.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_raster);
}
