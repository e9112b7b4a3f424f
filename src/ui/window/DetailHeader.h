#pragma once

#include <QWidget>

class AppState;
class ElidedLabel;
class QLabel;

// The line above the detail area naming the selected image and its pixel size. It hides itself
// (with the divider under it) while nothing is selected.
class DetailHeader : public QWidget {
    Q_OBJECT

public:
    explicit DetailHeader(AppState& state, QWidget* parent = nullptr);

    // "1024 × 768 px".
    static QString sizeText(QSize pixelSize);

    QString name() const;
    QString size() const;

private:
    void refresh();

    AppState& m_state;
    QWidget* m_row;
    ElidedLabel* m_name;
    QLabel* m_size;
};
