#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

// An image drawn as large as fits in the widget, aspect ratio kept, centred; smaller images are
// scaled up. The scaled copy is made once per size, with smooth filtering.
class FitImage : public QWidget {
    Q_OBJECT

public:
    explicit FitImage(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    QImage image() const { return m_image; }
    // The rectangle an image of `imageSize` takes inside `box`: the largest with its aspect ratio,
    // centred. Empty when either size is empty.
    static QRectF fittedRect(const QSizeF& imageSize, const QRectF& box);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QPixmap m_scaled; // for the last painted size and pixel ratio
};
