#pragma once

#include <QWidget>

// A one-pixel hairline in the divider colour, horizontal (full width) or vertical (full height).
class Divider : public QWidget {
    Q_OBJECT

public:
    explicit Divider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
