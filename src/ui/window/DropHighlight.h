#pragma once

#include <QWidget>

// The dashed frame shown over the whole window content while files are dragged over it. It takes
// no mouse input, so everything under it keeps working.
class DropHighlight : public QWidget {
    Q_OBJECT

public:
    explicit DropHighlight(QWidget* parent);

    // The stroke's centre line: inset 6 from the edges, then half the pen, so the stroke stays
    // inside the 6-point inset.
    static QRectF strokeRect(const QRectF& area);
    static QPen pen();

protected:
    void paintEvent(QPaintEvent* event) override;
};
