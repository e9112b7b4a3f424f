#pragma once

#include <QPixmap>
#include <QWidget>

// The before-and-after picture itself: the checkerboard, the result, the source left of the
// split and the divider, all stretched to the displayed size and centred in the canvas.
class CompareCanvas : public QWidget {
    Q_OBJECT
public:
    explicit CompareCanvas(QWidget* parent = nullptr);

    void setImages(const QImage& before, const QImage& after);
    // The picture's size in device-independent pixels; the canvas centres it.
    void setDisplayedSize(QSizeF displayed);
    QSizeF displayedSize() const { return m_displayed; }
    // The picture's rectangle in canvas coordinates.
    QRectF pictureRect() const;

    double split() const { return m_split; }
    void setSplit(double split);

Q_SIGNALS:
    // The user moved the divider by a press or a drag.
    void splitDragged(double split);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void dragTo(qreal x);
    void paintDivider(QPainter& painter, qreal x, qreal height) const;

    QPixmap m_before;
    QPixmap m_after;
    QSizeF m_displayed{1, 1};
    double m_split = 0.5;
    bool m_dragging = false;
};
