#include "DropHighlight.h"

#include "kit/SystemColors.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr qreal inset = 6;
constexpr qreal lineWidth = 3;
constexpr qreal radius = 12;
} // namespace

DropHighlight::DropHighlight(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

QRectF DropHighlight::strokeRect(const QRectF& area)
{
    const qreal half = lineWidth / 2;
    return area.adjusted(inset + half, inset + half, -(inset + half), -(inset + half));
}

QPen DropHighlight::pen()
{
    QPen pen(SystemColors::blue(), lineWidth, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    // Dash lengths are in pen widths: 8-point dashes and gaps.
    pen.setDashPattern({8 / lineWidth, 8 / lineWidth});
    pen.setMiterLimit(10);
    return pen;
}

void DropHighlight::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen());
    painter.setBrush(Qt::NoBrush);
    const qreal inner = radius - lineWidth / 2;
    painter.drawRoundedRect(strokeRect(rect()), inner, inner);
}
