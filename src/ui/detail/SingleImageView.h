#pragma once

#include <QWidget>

class FitImage;
class QStackedLayout;
class WrappingLabel;

// A preview of a source that has no result yet, with its status under it. Made once per
// item: status changes only change the caption.
class SingleImageView : public QWidget {
    Q_OBJECT
public:
    SingleImageView(const QString& path, const QString& caption, QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const;
    bool hasImage() const;
    // The preview shown; null until it has loaded.
    QImage image() const;

    // Previews started by every single view so far; tests use it to see reloads.
    static int previewLoadCount();

private:
    QStackedLayout* m_stack;
    FitImage* m_image;
    WrappingLabel* m_caption;
};
