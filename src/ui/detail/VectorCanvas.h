#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

class SvgRaster;

// Draws one SVG file over the page checkerboard. The file is read and parsed once, off the GUI
// thread; each new size is rendered off the GUI thread too, one render at a time, and the last
// raster is kept until a new one is ready. Every failure leaves the canvas empty.
class VectorCanvas : public QWidget {
    Q_OBJECT
public:
    explicit VectorCanvas(const QString& path, QWidget* parent = nullptr);
    ~VectorCanvas() override;

    QImage raster() const { return m_raster; }

Q_SIGNALS:
    // A raster of the current size is on screen.
    void rendered();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QSize wantedSize() const;
    void render();

    std::shared_ptr<SvgRaster> m_document;
    QImage m_raster;
    bool m_rendering = false;
};
