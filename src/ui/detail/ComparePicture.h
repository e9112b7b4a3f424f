#pragma once

#include <QSizeF>
#include <QWidget>

class CompareCanvas;
class QScrollArea;
class QStackedLayout;
class Spinner;
class Tag;

// The picture area of the comparison: a spinner until both previews are there, then the canvas
// in a scroll area, with the "Before" and "After" tags fixed in its top corners.
class ComparePicture : public QWidget {
    Q_OBJECT
public:
    explicit ComparePicture(QWidget* parent = nullptr);

    // The largest size with the proportions of `pixels` that fits the area less 12 on each side;
    // 1 × 1 when either has no positive width and height.
    static QSizeF fitted(QSizeF area, QSizeF pixels);

    // Both previews present: shows the picture, proportioned by `afterPixels`.
    void setImages(const QImage& before, const QImage& after, QSizeF afterPixels);
    void setZoom(int zoom);
    int zoom() const { return m_zoom; }

    CompareCanvas* canvas() const { return m_canvas; }
    QScrollArea* scrollArea() const { return m_scroll; }
    Tag* beforeTag() const { return m_beforeTag; }
    Tag* afterTag() const { return m_afterTag; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    void placeTags();

    QStackedLayout* m_stack;
    Spinner* m_spinner;
    QScrollArea* m_scroll;
    CompareCanvas* m_canvas;
    Tag* m_beforeTag;
    Tag* m_afterTag;
    QSizeF m_pixels;
    int m_zoom = 1;
};
