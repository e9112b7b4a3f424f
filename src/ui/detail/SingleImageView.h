#pragma once

#include <QWidget>

class FitImage;
class QLabel;
class QStackedLayout;

// A preview of a source that has no result yet, with one line of status under it. Made once per
// item: status changes only change the caption.
class SingleImageView : public QWidget {
    Q_OBJECT
public:
    SingleImageView(const QString& path, const QString& caption, QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const;
    bool hasImage() const;

    // Previews started by every single view so far; tests use it to see reloads.
    static int previewLoadCount();

private:
    QStackedLayout* m_stack;
    FitImage* m_image;
    QLabel* m_caption;
};
