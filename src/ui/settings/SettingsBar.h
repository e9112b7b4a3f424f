#pragma once

#include <QWidget>

class AppState;
class ExportSection;
class OutputPreview;
class Divider;
class QScrollArea;
class QToolButton;
class RunRow;
class WorkflowSection;

// The main window's right-hand column: where a batch is shaped and started. It keeps no settings
// of its own: every text and state is recomputed from the store in refresh(), and only the
// user's own actions write back.
class SettingsBar : public QWidget {
    Q_OBJECT

public:
    explicit SettingsBar(AppState& state, QWidget* parent = nullptr);

    // Recomputes every text, visibility and enabling from the store.
    void refresh();

    // The numbered header row of a section: the number in an accent capsule, then the title.
    static QWidget* section(const QString& number, const QString& title, QWidget* parent);

    QScrollArea* scrollArea() const { return m_scroll; }
    QToolButton* presetsMenu() const { return m_presets; }
    WorkflowSection* workflowSection() const { return m_workflow; }
    ExportSection* exportSection() const { return m_export; }
    OutputPreview* outputPreview() const { return m_preview; }
    RunRow* runRow() const { return m_runRow; }

private:
    QWidget* makeSettingsStack();
    QWidget* makeHeader(QWidget* parent);
    QToolButton* makePresetsMenu(QWidget* parent);
    void connectStore();
    void formatChanged();

    AppState& m_state;
    QScrollArea* m_scroll = nullptr;
    QToolButton* m_presets = nullptr;
    WorkflowSection* m_workflow = nullptr;
    ExportSection* m_export = nullptr;
    Divider* m_previewDivider = nullptr;
    OutputPreview* m_preview = nullptr;
    RunRow* m_runRow = nullptr;
};
