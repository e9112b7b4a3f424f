#pragma once

#include <QScrollArea>

// A vertical scroll area as tall as its content, up to its maximum height; past that the content
// scrolls. The content takes the area's width, which the area's fixed width sets when it has one.
// Its size follows every change of the content's.
class FittingScrollArea : public QScrollArea {
    Q_OBJECT

public:
    explicit FittingScrollArea(QWidget* content, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
