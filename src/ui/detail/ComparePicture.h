#pragma once

#include <QSizeF>
#include <QWidget>

class CompareCanvas;
class FitImage;
class QScrollArea;
class QStackedLayout;
class Spinner;
class Tag;

// The picture area of the comparison: a spinner, or the picture shown before, until both previews
// are there and reduced for the size shown; then the canvas in a scroll area. The "Before" and
// "After" tags stay fixed in its top corners.
class ComparePicture : public QWidget {
    Q_OBJECT
public:
    explicit ComparePicture(QWidget* parent = nullptr);

    // The largest size with the proportions of `pixels` that fits the area less 12 on each side;
    // 1 × 1 when either has no positive width and height.
    static QSizeF fitted(QSizeF area, QSizeF pixels);

    // Shown, fitted, in place of the spinner while the comparison is not ready.
    void setPlaceholder(const QImage& image);
    // Both previews present: shows the picture, proportioned by `afterPixels`, as soon as it can
    // be drawn without aliasing.
    void setImages(const QImage& before, const QImage& after, QSizeF afterPixels);
    bool isShowingPicture() const;
    void setZoom(int zoom);
    int zoom() const { return m_zoom; }

    CompareCanvas* canvas() const { return m_canvas; }
    FitImage* placeholder() const { return m_placeholder; }
    QScrollArea* scrollArea() const { return m_scroll; }
    Tag* beforeTag() const { return m_beforeTag; }
    Tag* afterTag() const { return m_afterTag; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    void placeTags();
    void showPicture();

    QStackedLayout* m_stack;
    Spinner* m_spinner;
    FitImage* m_placeholder;
    QScrollArea* m_scroll;
    CompareCanvas* m_canvas;
    Tag* m_beforeTag;
    Tag* m_afterTag;
    QSizeF m_pixels;
    int m_zoom = 1;
};
