#pragma once

#include <QWidget>

class ComparePicture;
class QSlider;
class SegmentedControl;

// A finished raster result against its source: the source left of a movable divider, the
// result right of it, magnified 1, 2, 4 or 8 times. Made anew for each result file; `shown`, the
// picture the detail area showed before, stands in until the comparison is ready.
class CompareView : public QWidget {
    Q_OBJECT
public:
    CompareView(const QString& beforePath, const QString& afterPath, const QImage& shown = {},
                QWidget* parent = nullptr);

    double split() const;
    int zoom() const;
    ComparePicture* picture() const { return m_picture; }
    QSlider* slider() const { return m_slider; }
    SegmentedControl* zoomControl() const { return m_zoom; }

private:
    QWidget* makeControls();
    void load();
    void setSplit(double split);

    QString m_beforePath;
    QString m_afterPath;
    ComparePicture* m_picture;
    SegmentedControl* m_zoom = nullptr;
    QSlider* m_slider = nullptr;
};
