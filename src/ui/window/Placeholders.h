#pragma once

#include <QWidget>

class AppState;
class DropHint;

// A stand-in for the detail area until that view exists: the full drop hint while nothing is
// selected, an empty area otherwise.
class DetailPlaceholder : public QWidget {
    Q_OBJECT

public:
    explicit DetailPlaceholder(AppState& state, QWidget* parent = nullptr);
    DropHint* hint() const { return m_hint; }

private:
    AppState& m_state;
    DropHint* m_hint;
};
