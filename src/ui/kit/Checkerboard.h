#pragma once

#include <QSizeF>
#include <QWidget>

class QPainter;

// A grey checker pattern that shows where an image is transparent.
class Checkerboard : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal cell = 10;

    explicit Checkerboard(QWidget* parent = nullptr);

    // Fills the cells of `size`, anchored at the painter's origin: 10 × 10 cells of grey
    // (142, 142, 147) at 0.18 where column + row is even, the last ones clipped by the painter.
    // Nothing for an empty size.
    static void paint(QPainter& painter, QSizeF size);

protected:
    void paintEvent(QPaintEvent* event) override;
};
