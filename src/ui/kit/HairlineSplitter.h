#pragma once

#include <QSplitter>

// A splitter whose handles are one-pixel hairlines in the divider colour.
class HairlineSplitter : public QSplitter {
    Q_OBJECT

public:
    explicit HairlineSplitter(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    QSplitterHandle* createHandle() override;
};
