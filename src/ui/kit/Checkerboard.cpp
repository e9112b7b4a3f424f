#include "Checkerboard.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>

Checkerboard::Checkerboard(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void Checkerboard::paint(QPainter& painter, QSizeF size)
{
    paint(painter, size, QRectF(QPointF(0, 0), size));
}

void Checkerboard::paint(QPainter& painter, QSizeF size, const QRectF& exposed)
{
    const QRectF whole(QPointF(0, 0), size);
    const QRectF area = whole.intersected(exposed);
    if (!(size.width() > 0) || !(size.height() > 0) || area.isEmpty())
        return;
    QColor grey(142, 142, 147);
    grey.setAlphaF(0.18f);
    const int firstColumn = int(area.left() / cell);
    const int lastColumn = int(std::ceil(area.right() / cell));
    const int lastRow = int(std::ceil(area.bottom() / cell));
    for (int row = int(area.top() / cell); row < lastRow; ++row)
        for (int column = firstColumn + (firstColumn + row) % 2; column < lastColumn; column += 2)
            painter.fillRect(QRectF(column * cell, row * cell, cell, cell).intersected(whole),
                             grey);
}

void Checkerboard::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    paint(painter, size(), event->rect());
}
