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
    // (142, 142, 147) at 0.18 where column + row is even, the last ones cut at the size's edges.
    // Nothing for an empty size.
    static void paint(QPainter& painter, QSizeF size);
    // The same, only the cells that meet `exposed` (painter coordinates): a magnified picture
    // costs what shows of it, not its whole area.
    static void paint(QPainter& painter, QSizeF size, const QRectF& exposed);

protected:
    void paintEvent(QPaintEvent* event) override;
};
