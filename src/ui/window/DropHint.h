#pragma once

#include <QWidget>

class AppState;
class AquaButton;

// The invitation to add images that fills an empty area: compact in the sidebar while the queue
// is empty, full (artwork, headline, "Choose Images…") where nothing is selected. It takes no
// drops itself; the window does.
class DropHint : public QWidget {
    Q_OBJECT

public:
    DropHint(AppState& state, bool compact, QWidget* parent = nullptr);

    bool isCompact() const { return m_compact; }
    // The full form's button; null in the compact form.
    AquaButton* chooseButton() const { return m_choose; }

private:
    void buildCompact();
    void buildFull();

    AppState& m_state;
    bool m_compact;
    AquaButton* m_choose = nullptr;
};
