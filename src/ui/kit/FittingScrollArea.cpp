#include "FittingScrollArea.h"

#include <QEvent>

FittingScrollArea::FittingScrollArea(QWidget* content, QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    setWidget(content);
    content->installEventFilter(this);
}

// The content's height at the area's width (its fixed width, when it has one), where it needs
// no scroll bar.
QSize FittingScrollArea::sizeHint() const
{
    const QWidget* content = widget();
    const QSize natural = content->sizeHint();
    const int width = maximumWidth() < QWIDGETSIZE_MAX ? maximumWidth() : natural.width();
    const int height =
        content->hasHeightForWidth() ? content->heightForWidth(width) : natural.height();
    const int frame = 2 * frameWidth();
    return {width, height + frame};
}

QSize FittingScrollArea::minimumSizeHint() const
{
    return {sizeHint().width(), 0};
}

// A row shown or hidden in the content changes its height: the area follows.
bool FittingScrollArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}
