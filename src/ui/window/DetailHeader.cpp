#include "DetailHeader.h"

#include "core/FileNames.h"
#include "kit/Divider.h"
#include "kit/ElidedLabel.h"
#include "kit/TolvaneTheme.h"
#include "store/AppState.h"

#include <QHBoxLayout>
#include <QLabel>

DetailHeader::DetailHeader(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_row(new QWidget), m_name(new ElidedLabel),
      m_size(new QLabel)
{
    m_name->setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::headline));
    m_size->setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::caption));
    QPalette muted = m_size->palette();
    muted.setColor(QPalette::WindowText, TolvaneTheme::muted());
    m_size->setPalette(muted);

    auto* row = new QHBoxLayout(m_row);
    row->setContentsMargins(16, 16, 16, 16);
    row->addWidget(m_name, 1);
    row->addWidget(m_size);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_row);
    layout->addWidget(new Divider);

    for (auto signal : {&AppState::selectionChanged, &AppState::itemsChanged})
        connect(&state, signal, this, &DetailHeader::refresh);
    refresh();
}

QString DetailHeader::sizeText(QSize pixelSize)
{
    return QStringLiteral("%1 × %2 px").arg(pixelSize.width()).arg(pixelSize.height());
}

QString DetailHeader::name() const
{
    return m_name->text();
}

QString DetailHeader::size() const
{
    return m_size->text();
}

void DetailHeader::refresh()
{
    const std::optional<Item> item = m_state.selectedItem();
    setVisible(item.has_value());
    if (!item)
        return;
    m_name->setText(FileNames::lastPathComponent(item->path));
    m_size->setText(sizeText(item->pixelSize));
}
