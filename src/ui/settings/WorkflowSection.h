#pragma once

#include <QList>
#include <QWidget>

class AppState;
class AquaButton;
class QComboBox;
class QLabel;
class SegmentedControl;

// The "Workflow" section: the workflow picker and, below it, exactly one of the enlargement
// block (scale buttons, image type), the vector caption or the convert caption.
class WorkflowSection : public QWidget {
    Q_OBJECT

public:
    explicit WorkflowSection(AppState& state, QWidget* parent = nullptr);

    void refresh();

    SegmentedControl* workflowPicker() const { return m_workflow; }
    const QList<AquaButton*>& scaleButtons() const { return m_scaleButtons; }
    QComboBox* modelPicker() const { return m_model; }
    QWidget* enlargementBlock() const { return m_enlargement; }
    QLabel* vectorCaption() const { return m_vectorCaption; }
    QLabel* convertCaption() const { return m_convertCaption; }

private:
    QWidget* makeEnlargementBlock();
    QWidget* makeScaleRow(QWidget* parent);

    AppState& m_state;
    SegmentedControl* m_workflow;
    QWidget* m_enlargement = nullptr;
    QList<AquaButton*> m_scaleButtons;
    QComboBox* m_model = nullptr;
    QLabel* m_modelCaption = nullptr;
    QLabel* m_vectorCaption;
    QLabel* m_convertCaption;
};
