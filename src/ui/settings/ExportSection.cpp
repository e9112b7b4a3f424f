#include "ExportSection.h"
#include "kit/TextLabel.h"

#include "SettingsBar.h"
#include "SettingsRules.h"
#include "SettingsWidgets.h"

#include "store/AppState.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TolvaneTheme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

using namespace SettingsRules;

ExportSection::ExportSection(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_format(new QComboBox(this)),
      m_lossless(new QCheckBox(QStringLiteral("Lossless WebP"), this))
{
    for (OutputFormat format : allOutputFormats())
        m_format->addItem(rawValue(format));
    m_format->setAccessibleName(QStringLiteral("Format"));
    SettingsWidgets::scrollPastUnlessFocused(m_format);
    connect(m_format, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < allOutputFormats().size())
            m_state.setFormat(allOutputFormats().at(index));
    });
    // The box would vanish into the column's own colour.
    QPalette palette = m_lossless->palette();
    palette.setColor(QPalette::Base, TolvaneTheme::raised());
    m_lossless->setPalette(palette);
    connect(m_lossless, &QCheckBox::clicked, this,
            [this](bool checked) { m_state.setWebpLossless(checked); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(SettingsBar::section(QStringLiteral("02"), QStringLiteral("Export"), this));
    layout->addWidget(SettingsWidgets::labelledRow(QStringLiteral("Format"), m_format, this));
    layout->addWidget(makeQualityBlock());
    layout->addWidget(m_lossless);
    layout->addWidget(makeFolderMenu());
    layout->addWidget(
        SettingsWidgets::caption(QStringLiteral("Originals are never replaced."), this));
}

QWidget* ExportSection::makeQualityBlock()
{
    m_qualityBlock = new QWidget(this);
    m_percent = new QLabel(m_qualityBlock);
    TextLabel::setColour(m_percent, TolvaneTheme::muted());

    // Written only from the user's own moves: showing a stored value outside the range clamps
    // the slider, and that must never overwrite the setting.
    m_slider = new QSlider(Qt::Horizontal, m_qualityBlock);
    m_slider->setRange(sliderMinimum, sliderMaximum);
    m_slider->setSingleStep(10);
    m_slider->setPageStep(50);
    m_slider->setAccessibleName(QStringLiteral("Export quality"));
    SettingsWidgets::scrollPastUnlessFocused(m_slider);
    connect(m_slider, &QSlider::valueChanged, this,
            [this](int value) { m_state.setQuality(qualityFromSlider(value)); });

    auto* titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->addWidget(new QLabel(QStringLiteral("Quality"), m_qualityBlock));
    titleRow->addStretch(1);
    titleRow->addWidget(m_percent);

    auto* layout = new QVBoxLayout(m_qualityBlock);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addLayout(titleRow);
    layout->addWidget(m_slider);
    return m_qualityBlock;
}

QToolButton* ExportSection::makeFolderMenu()
{
    m_folder = new QToolButton(this);
    m_folder->setPopupMode(QToolButton::InstantPopup);
    m_folder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* menu = new QMenu(m_folder);
    menu->addAction(QStringLiteral("Next to originals"), this,
                    [this] { m_state.setOutputFolder({}); });
    menu->addAction(QStringLiteral("Choose Folder…"), this,
                    [this] { m_state.chooseOutputFolder(); });
    m_folder->setMenu(menu);

    // The label elides in the middle, so it lives in the button's own layout.
    auto* icon = new QLabel(m_folder);
    icon->setPixmap(Symbols::pixmap(QStringLiteral("folder"), TolvaneTheme::accent(), 14));
    m_folderLabel = new ElidedLabel({}, m_folder);
    m_folderLabel->setElideMode(Qt::ElideMiddle);
    auto* layout = new QHBoxLayout(m_folder);
    layout->setContentsMargins(8, 4, 18, 4);
    layout->setSpacing(6);
    layout->addWidget(icon);
    layout->addWidget(m_folderLabel, 1);
    return m_folder;
}

void ExportSection::refresh()
{
    const OutputFormat format = m_state.format();
    {
        const QSignalBlocker blocker(m_format);
        m_format->setCurrentIndex(int(allOutputFormats().indexOf(format)));
    }
    m_qualityBlock->setVisible(showsQuality(format));
    m_percent->setText(SettingsRules::qualityPercent(m_state.quality()));
    {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(sliderPosition(m_state.quality()));
    }
    m_slider->setEnabled(qualityAdjustable(format, m_state.webpLossless()));

    m_lossless->setVisible(showsLosslessToggle(format));
    {
        const QSignalBlocker blocker(m_lossless);
        m_lossless->setChecked(m_state.webpLossless());
    }
    const QString folder = m_state.outputFolder();
    m_folderLabel->setText(SettingsRules::folderLabel(folder));
    m_folder->setToolTip(TextLabel::plainToolTip(folderToolTip(folder)));
    m_folder->setAccessibleName(SettingsRules::folderLabel(folder));
}
