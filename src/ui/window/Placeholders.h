#pragma once

#include <QWidget>

class AppState;
class DropHint;

// Stand-ins for the detail area and the settings column until those views exist.

// The full drop hint while nothing is selected; an empty area otherwise.
class DetailPlaceholder : public QWidget {
    Q_OBJECT

public:
    explicit DetailPlaceholder(AppState& state, QWidget* parent = nullptr);
    DropHint* hint() const { return m_hint; }

private:
    AppState& m_state;
    DropHint* m_hint;
};

// An empty column in the panel colour.
class SettingsPlaceholder : public QWidget {
    Q_OBJECT

public:
    explicit SettingsPlaceholder(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
