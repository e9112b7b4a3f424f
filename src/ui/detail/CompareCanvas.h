#pragma once

#include <QImage>
#include <QWidget>

// The before-and-after picture itself: the checkerboard, the result, the source left of the
// split and the divider, all stretched to the displayed size and centred in the canvas. A preview
// larger than the displayed size is drawn from a copy reduced by area averaging, made off the GUI
// thread once per displayed size; until it is ready the previous copy is drawn, stretched. Only
// the exposed part is painted, and moving the divider repaints only the band it crosses.
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

    // True when every preview larger than the displayed size is drawn from its reduced copy.
    bool isReduced() const;

Q_SIGNALS:
    // The user moved the divider by a press or a drag.
    void splitDragged(double split);
    // Reduced copies for the current displayed size are on screen.
    void reduced();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Copies {
        QSize pixels;
        QImage before; // null where the preview itself is drawn
        QImage after;
    };

    QSize wantedPixels() const;
    void reduce();
    static Copies makeCopies(const QImage& before, const QImage& after, QSize pixels);
    qreal dividerX(double split) const;
    const QImage& source(const QImage& preview, const QImage& copy) const;
    void dragTo(qreal x);
    void paintDivider(QPainter& painter, qreal x, const QRectF& exposed) const;

    QImage m_before;
    QImage m_after;
    Copies m_copies;
    bool m_reducing = false;
    int m_imagesSet = 0; // copies made from images set before are never kept
    QSizeF m_displayed{1, 1};
    double m_split = 0.5;
    bool m_dragging = false;
};
