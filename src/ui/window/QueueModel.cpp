#include "QueueModel.h"

#include "ItemRow.h"
#include "core/FileNames.h"
#include "kit/TextLabel.h"
#include "store/AppState.h"

QueueModel::QueueModel(AppState& state, QObject* parent)
    : QAbstractListModel(parent), m_state(state)
{
    connect(&state, &AppState::itemAppended, this, &QueueModel::insertRow);
    connect(&state, &AppState::itemRemoved, this, &QueueModel::removeRow);
    connect(&state, &AppState::itemChanged, this, &QueueModel::changeRow);
    connect(&state, &AppState::itemsCleared, this, &QueueModel::reset);
    // Rows without a result show the size the chosen scale will give.
    connect(&state, &AppState::scaleChanged, this, &QueueModel::changeAll);
    for (const Item& item : state.items())
        m_ids.append(item.id);
}

int QueueModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

const Item* QueueModel::item(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_ids.size())
        return nullptr;
    const QList<Item>& items = m_state.items();
    const int row = index.row();
    // Rows and store agree outside a change; look the id up should they not.
    if (row < items.size() && items[row].id == m_ids[row])
        return &items[row];
    const int found = m_state.row(m_ids[row]);
    return found < 0 ? nullptr : &items[found];
}

QModelIndex QueueModel::indexOf(const QUuid& id) const
{
    const int row = int(m_ids.indexOf(id));
    return row < 0 ? QModelIndex() : index(row);
}

QUuid QueueModel::id(const QModelIndex& index) const
{
    return index.isValid() && index.row() < m_ids.size() ? m_ids[index.row()] : QUuid();
}

QVariant QueueModel::data(const QModelIndex& index, int role) const
{
    const Item* shown = item(index);
    if (!shown)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return FileNames::lastPathComponent(shown->path);
    case Qt::ToolTipRole: {
        const QString tip = ItemRow::status(*shown).toolTip;
        return tip.isEmpty() ? QVariant() : TextLabel::plainToolTip(tip);
    }
    case IdRole:
        return shown->id;
    default:
        return {};
    }
}

void QueueModel::insertRow(int row)
{
    if (row < 0 || row > m_ids.size() || row >= m_state.items().size())
        return reset();
    beginInsertRows({}, row, row);
    m_ids.insert(row, m_state.items()[row].id);
    endInsertRows();
}

void QueueModel::removeRow(int row)
{
    if (row < 0 || row >= m_ids.size())
        return reset();
    beginRemoveRows({}, row, row);
    m_ids.removeAt(row);
    endRemoveRows();
}

void QueueModel::changeRow(int row)
{
    if (row >= 0 && row < m_ids.size())
        Q_EMIT dataChanged(index(row), index(row));
}

void QueueModel::changeAll()
{
    if (!m_ids.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_ids.size()) - 1));
}

void QueueModel::reset()
{
    beginResetModel();
    m_ids.clear();
    for (const Item& item : m_state.items())
        m_ids.append(item.id);
    endResetModel();
}
