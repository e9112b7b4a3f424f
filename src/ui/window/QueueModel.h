#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

class AppState;
struct Item;

// The store's queue as a list model. The store announces each row after changing it, so the model
// keeps its own copy of the ids and brackets every change in the matching begin/end calls: a
// progress tick is one dataChanged, and only a replaced queue resets the views.
class QueueModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { IdRole = Qt::UserRole + 1 };

    explicit QueueModel(AppState& state, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The item shown at `index`; null for an invalid index.
    const Item* item(const QModelIndex& index) const;
    QModelIndex indexOf(const QUuid& id) const;
    QUuid id(const QModelIndex& index) const;

private:
    void insertRow(int row);
    void removeRow(int row);
    void reset();
    void changeRow(int row);
    void changeAll();

    AppState& m_state;
    QList<QUuid> m_ids;
};
