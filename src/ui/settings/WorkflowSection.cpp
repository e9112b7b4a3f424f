#include "WorkflowSection.h"

#include "SettingsBar.h"
#include "SettingsRules.h"
#include "SettingsWidgets.h"

#include "store/AppState.h"
#include "ui/kit/AquaButton.h"
#include "ui/kit/SegmentedControl.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace SettingsRules;

namespace {
const ScaleFactor enlargements[] = {ScaleFactor::x2, ScaleFactor::x4, ScaleFactor::x8,
                                    ScaleFactor::x16};
}

WorkflowSection::WorkflowSection(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state),
      m_workflow(new SegmentedControl(
          {QStringLiteral("Enhance"), QStringLiteral("Convert"), QStringLiteral("Vector")}, this)),
      m_vectorCaption(SettingsWidgets::caption(SettingsRules::vectorCaption(), this)),
      m_convertCaption(SettingsWidgets::caption(SettingsRules::convertCaption(), this))
{
    m_workflow->setAccessibleName(QStringLiteral("Workflow"));
    connect(m_workflow, &SegmentedControl::activated, this,
            [this](int index) { setWorkflow(m_state, Workflow(index)); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(SettingsBar::section(QStringLiteral("01"), QStringLiteral("Workflow"), this));
    layout->addWidget(m_workflow);
    layout->addWidget(makeEnlargementBlock());
    layout->addWidget(m_vectorCaption);
    layout->addWidget(m_convertCaption);
}

// Three children of the section's own spacing: the scale row under its caption, the image type
// picker and the model's caption.
QWidget* WorkflowSection::makeEnlargementBlock()
{
    m_enlargement = new QWidget(this);
    auto* scales = new QWidget(m_enlargement);
    auto* scalesLayout = new QVBoxLayout(scales);
    scalesLayout->setContentsMargins(0, 0, 0, 0);
    scalesLayout->setSpacing(8);
    scalesLayout->addWidget(SettingsWidgets::caption(QStringLiteral("Enlargement"), scales));
    scalesLayout->addWidget(makeScaleRow(scales));

    m_model = new QComboBox(m_enlargement);
    m_model->addItem(QStringLiteral("Photo"));
    m_model->addItem(QStringLiteral("Illustration"));
    m_model->setAccessibleName(QStringLiteral("Image type"));
    SettingsWidgets::scrollPastUnlessFocused(m_model);
    connect(m_model, &QComboBox::activated, this,
            [this](int index) { m_state.setModel(allModels().value(index, SRModel::photo)); });
    auto* modelRow =
        SettingsWidgets::labelledRow(QStringLiteral("Image type"), m_model, m_enlargement);
    m_modelCaption = SettingsWidgets::caption({}, m_enlargement);

    auto* layout = new QVBoxLayout(m_enlargement);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(scales);
    layout->addWidget(modelRow);
    layout->addWidget(m_modelCaption);
    return m_enlargement;
}

QWidget* WorkflowSection::makeScaleRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    for (ScaleFactor scale : enlargements) {
        auto* button = new AquaButton(label(scale), false, row);
        button->setControlSize(AquaButton::ControlSize::small);
        // Equal shares of the row whatever the label's width.
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        button->setAccessibleName(scaleAccessibleName(scale));
        connect(button, &QAbstractButton::clicked, this,
                [this, scale] { m_state.setScale(scale); });
        layout->addWidget(button, 1);
        m_scaleButtons << button;
    }
    return row;
}

void WorkflowSection::refresh()
{
    const ScaleFactor scale = m_state.scale();
    const OutputFormat format = m_state.format();
    {
        const QSignalBlocker blocker(m_workflow);
        m_workflow->setCurrentIndex(int(workflow(scale, format)));
    }
    const WorkflowBlock block = workflowBlock(scale, format);
    m_enlargement->setVisible(block == WorkflowBlock::enlargement);
    m_vectorCaption->setVisible(block == WorkflowBlock::vector);
    m_convertCaption->setVisible(block == WorkflowBlock::convert);

    for (int i = 0; i < m_scaleButtons.size(); ++i) {
        const bool selected = enlargements[i] == scale;
        m_scaleButtons[i]->setProminent(selected);
        m_scaleButtons[i]->setAccessibleDescription(selected ? QStringLiteral("Selected")
                                                             : QString());
    }
    {
        const QSignalBlocker blocker(m_model);
        m_model->setCurrentIndex(int(allModels().indexOf(m_state.model())));
    }
    m_modelCaption->setText(modelCaption(m_state.model()));
}
