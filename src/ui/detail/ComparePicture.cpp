#include "ComparePicture.h"

#include "CompareCanvas.h"
#include "kit/FitImage.h"
#include "kit/Spinner.h"
#include "kit/Tag.h"

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr qreal margin = 12;
}

ComparePicture::ComparePicture(QWidget* parent)
    : QWidget(parent), m_stack(new QStackedLayout(this)), m_spinner(new Spinner),
      m_placeholder(new FitImage), m_scroll(new QScrollArea), m_canvas(new CompareCanvas)
{
    m_stack->setContentsMargins(0, 0, 0, 0);
    auto* waiting = new QWidget;
    auto* waitingLayout = new QVBoxLayout(waiting);
    waitingLayout->setContentsMargins(int(margin), int(margin), int(margin), int(margin));
    waitingLayout->addWidget(m_spinner, 0, Qt::AlignCenter);
    waitingLayout->addWidget(m_placeholder);
    m_placeholder->hide();
    m_stack->addWidget(waiting);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(false);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setWidget(m_canvas);
    m_stack->addWidget(m_scroll);
    // Children made after the stack's pages stay above them and never scroll.
    m_beforeTag = new Tag(tr("Before"), this);
    m_afterTag = new Tag(tr("After"), this);
    m_beforeTag->raise();
    m_afterTag->raise();
    // Scroll bars come and go with the zoom; the tags follow the viewport they leave.
    m_scroll->viewport()->installEventFilter(this);
}

QSizeF ComparePicture::fitted(QSizeF area, QSizeF pixels)
{
    const QSizeF available(area.width() - 2 * margin, area.height() - 2 * margin);
    if (!(pixels.width() > 0) || !(pixels.height() > 0) || !(available.width() > 0) ||
        !(available.height() > 0))
        return {1, 1};
    const qreal s =
        std::min(available.width() / pixels.width(), available.height() / pixels.height());
    return {pixels.width() * s, pixels.height() * s};
}

void ComparePicture::setPlaceholder(const QImage& image)
{
    m_placeholder->setImage(image);
    m_placeholder->setVisible(!image.isNull());
    m_spinner->setVisible(image.isNull());
}

void ComparePicture::setImages(const QImage& before, const QImage& after, QSizeF afterPixels)
{
    m_pixels = afterPixels;
    // Sized first, so that the first reduced copies are made for the size shown.
    relayout();
    m_canvas->setImages(before, after);
    if (m_canvas->isReduced())
        showPicture();
    else
        connect(m_canvas, &CompareCanvas::reduced, this, &ComparePicture::showPicture,
                Qt::SingleShotConnection);
}

void ComparePicture::showPicture()
{
    m_stack->setCurrentWidget(m_scroll);
    m_beforeTag->raise();
    m_afterTag->raise();
    m_placeholder->setImage({});
    placeTags();
}

bool ComparePicture::isShowingPicture() const
{
    return m_stack->currentWidget() == m_scroll;
}

void ComparePicture::setZoom(int zoom)
{
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    relayout();
}

bool ComparePicture::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        placeTags();
    return QWidget::eventFilter(watched, event);
}

// In the top corners of what shows of the picture: never over a scroll bar.
void ComparePicture::placeTags()
{
    QRect visible = rect();
    if (m_stack->currentWidget() == m_scroll)
        visible = m_scroll->viewport()->geometry().translated(m_scroll->pos());
    m_beforeTag->move(visible.topLeft());
    m_afterTag->move(visible.right() + 1 - m_afterTag->width(), visible.top());
}

void ComparePicture::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

// The fitted size comes from the whole area, not the viewport, so scroll bars appearing at a
// zoom never change it.
void ComparePicture::relayout()
{
    const QSizeF displayed = fitted(size(), m_pixels) * m_zoom;
    m_canvas->setDisplayedSize(displayed);
    const QSize needed = displayed.toSize();
    const bool scrollsX = needed.width() > width();
    const bool scrollsY = needed.height() > height();
    const int barW = scrollsY ? m_scroll->verticalScrollBar()->sizeHint().width() : 0;
    const int barH = scrollsX ? m_scroll->horizontalScrollBar()->sizeHint().height() : 0;
    m_canvas->resize(std::max(needed.width(), width() - barW),
                     std::max(needed.height(), height() - barH));
    placeTags();
}
