#include "OutputPreview.h"

#include "SettingsRules.h"
#include "SettingsWidgets.h"

#include "store/AppState.h"
#include "ui/kit/TolvaneTheme.h"

#include <QLabel>
#include <QVBoxLayout>

OutputPreview::OutputPreview(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_size(new QLabel(this)),
      m_caption(SettingsWidgets::caption({}, this))
{
    QFont font = TolvaneTheme::font(TolvaneTheme::TextStyle::body);
    font.setWeight(QFont::Medium);
    m_size->setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(m_size);
    layout->addWidget(m_caption);
}

void OutputPreview::refresh()
{
    const std::optional<Item> item = m_state.selectedItem();
    setVisible(item.has_value());
    if (!item)
        return;
    m_size->setText(SettingsRules::outputSizeText(item->pixelSize, m_state.scale()));
    m_caption->setText(SettingsRules::previewCaption(m_state.scale(), m_state.format()));
}
