#pragma once

#include <QWidget>

class AppState;
class QLabel;

// How large the selected image's result will be, and what kind of result it is.
class OutputPreview : public QWidget {
    Q_OBJECT

public:
    explicit OutputPreview(AppState& state, QWidget* parent = nullptr);

    // Shows the texts for the selected item; hides itself without a selection.
    void refresh();

    QLabel* sizeLabel() const { return m_size; }
    QLabel* captionLabel() const { return m_caption; }

private:
    AppState& m_state;
    QLabel* m_size;
    QLabel* m_caption;
};
