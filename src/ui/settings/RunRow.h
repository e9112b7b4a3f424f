#pragma once

#include <QWidget>

class AppState;
class AquaButton;
class QLabel;

// The foot of the settings column: the run button (or, during a batch, the stop button) and a
// caption with the queue count. It never scrolls.
class RunRow : public QWidget {
    Q_OBJECT

public:
    explicit RunRow(AppState& state, QWidget* parent = nullptr);

    // Recomputes title, icon, enabling and caption from the store.
    void refresh();

    AquaButton* runButton() const { return m_run; }
    AquaButton* stopButton() const { return m_stop; }
    QLabel* queueCaption() const { return m_caption; }

private:
    void stop();

    AppState& m_state;
    AquaButton* m_run;
    AquaButton* m_stop;
    QLabel* m_caption;
};
