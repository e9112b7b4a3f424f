#include "SettingsBar.h"
#include "kit/TextLabel.h"

#include "ExportSection.h"
#include "OutputPreview.h"
#include "RunRow.h"
#include "SettingsRules.h"
#include "SettingsWidgets.h"
#include "WorkflowSection.h"

#include "store/AppState.h"
#include "ui/kit/Divider.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TolvaneTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A section number on a faint accent capsule.
class CapsuleLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = TolvaneTheme::accent();
        fill.setAlphaF(0.09f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        const QRectF bounds = rect();
        const qreal radius = bounds.height() / 2;
        painter.drawRoundedRect(bounds, radius, radius);
        painter.end();
        QLabel::paintEvent(event);
    }
};

} // namespace

SettingsBar::SettingsBar(AppState& state, QWidget* parent) : QWidget(parent), m_state(state)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TolvaneTheme::panel());
    setPalette(palette);

    m_runRow = new RunRow(m_state, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeSettingsStack(), 1);
    layout->addWidget(new Divider(Qt::Horizontal, this));
    layout->addWidget(m_runRow);

    connectStore();
    refresh();
}

QWidget* SettingsBar::makeSettingsStack()
{
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);

    auto* stack = new QWidget(m_scroll);
    stack->setAutoFillBackground(false);
    stack->setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::callout));
    m_workflow = new WorkflowSection(m_state, stack);
    m_export = new ExportSection(m_state, stack);
    m_previewDivider = new Divider(Qt::Horizontal, stack);
    m_preview = new OutputPreview(m_state, stack);

    auto* layout = new QVBoxLayout(stack);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(24);
    layout->addWidget(makeHeader(stack));
    layout->addWidget(makePresetsMenu(stack), 0, Qt::AlignLeft);
    layout->addWidget(m_workflow);
    layout->addWidget(new Divider(Qt::Horizontal, stack));
    layout->addWidget(m_export);
    layout->addWidget(m_previewDivider);
    layout->addWidget(m_preview);
    layout->addStretch(1);
    m_scroll->setWidget(stack);
    return m_scroll;
}

QWidget* SettingsBar::makeHeader(QWidget* parent)
{
    auto* header = new QWidget(parent);
    auto* headline = new QLabel(QStringLiteral("Shape the batch"), header);
    QFont display = TolvaneTheme::displayFont(32);
    display.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    headline->setFont(display);
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(headline);
    layout->addWidget(
        SettingsWidgets::caption(QStringLiteral("A little image. A bigger possibility."), header));
    return header;
}

QToolButton* SettingsBar::makePresetsMenu(QWidget* parent)
{
    m_presets = new QToolButton(parent);
    m_presets->setText(QStringLiteral("Quick presets"));
    m_presets->setIcon(
        Symbols::icon(QStringLiteral("slider.horizontal.3"), TolvaneTheme::ink(), 14));
    m_presets->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_presets->setPopupMode(QToolButton::InstantPopup);

    auto* menu = new QMenu(m_presets);
    const QList<SettingsRules::Preset>& presets = SettingsRules::presets();
    for (int i = 0; i < presets.size(); ++i) {
        if (i == SettingsRules::presetSeparatorAfter)
            menu->addSeparator();
        const SettingsRules::Preset preset = presets[i];
        menu->addAction(preset.title, this, [this, preset] {
            SettingsRules::preset(m_state, preset.scale, preset.model, preset.format);
        });
    }
    m_presets->setMenu(menu);
    return m_presets;
}

QWidget* SettingsBar::section(const QString& number, const QString& title, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* badge = new CapsuleLabel(number, row);
    QFont caption = TolvaneTheme::font(TolvaneTheme::TextStyle::caption);
    caption.setWeight(QFont::DemiBold);
    badge->setFont(caption);
    badge->setAlignment(Qt::AlignCenter);
    badge->setFixedSize(26, 22);
    TextLabel::setColour(badge, TolvaneTheme::accent());

    auto* heading = new QLabel(title, row);
    QFont callout = TolvaneTheme::font(TolvaneTheme::TextStyle::callout);
    callout.setWeight(QFont::DemiBold);
    heading->setFont(callout);

    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(badge, 0, Qt::AlignVCenter);
    layout->addWidget(heading, 1, Qt::AlignVCenter);
    return row;
}

void SettingsBar::connectStore()
{
    // The SVG pairing first, so the refresh that follows already sees 1x.
    connect(&m_state, &AppState::formatChanged, this, &SettingsBar::formatChanged);
    const auto refreshOn = [this](auto signal) {
        connect(&m_state, signal, this, &SettingsBar::refresh);
    };
    refreshOn(&AppState::scaleChanged);
    refreshOn(&AppState::modelChanged);
    refreshOn(&AppState::formatChanged);
    refreshOn(&AppState::qualityChanged);
    refreshOn(&AppState::webpLosslessChanged);
    refreshOn(&AppState::outputFolderChanged);
    refreshOn(&AppState::isRunningChanged);
    refreshOn(&AppState::isImportingChanged);
    refreshOn(&AppState::itemsChanged);
    refreshOn(&AppState::selectionChanged);
}

// SVG output always goes with 1x; a change to any other format leaves the scale alone.
void SettingsBar::formatChanged()
{
    if (m_state.format() == OutputFormat::svg)
        m_state.setScale(ScaleFactor::x1);
}

void SettingsBar::refresh()
{
    const bool running = m_state.isRunning();
    m_presets->setEnabled(!running);
    m_workflow->setEnabled(!running);
    m_export->setEnabled(!running);
    m_workflow->refresh();
    m_export->refresh();
    m_preview->refresh();
    m_previewDivider->setVisible(m_state.selectedItem().has_value());
    m_runRow->refresh();
}
