#include "Placeholders.h"

#include "DropHint.h"
#include "store/AppState.h"

#include <QVBoxLayout>

DetailPlaceholder::DetailPlaceholder(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_hint(new DropHint(state, false))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_hint);
    auto refresh = [this] { m_hint->setVisible(!m_state.selectedItem()); };
    connect(&state, &AppState::selectionChanged, this, refresh);
    connect(&state, &AppState::itemsChanged, this, refresh);
    refresh();
}
