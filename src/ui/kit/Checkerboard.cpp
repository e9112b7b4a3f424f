#include "Checkerboard.h"

#include <QPainter>

Checkerboard::Checkerboard(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void Checkerboard::paint(QPainter& painter, QSizeF size)
{
    if (!(size.width() > 0) || !(size.height() > 0))
        return;
    QColor grey(142, 142, 147);
    grey.setAlphaF(0.18f);
    int row = 0;
    for (qreal y = 0; y < size.height(); y += cell, ++row) {
        int column = 0;
        for (qreal x = 0; x < size.width(); x += cell, ++column)
            if ((row + column) % 2 == 0)
                painter.fillRect(QRectF(x, y, cell, cell), grey);
    }
}

void Checkerboard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setClipRect(rect());
    paint(painter, size());
}
