#pragma once

#include "store/AppState.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class QWidget;

// Files that later launches hand to the running window. The window comes forward at once; the
// files join the queue by the usual rules, at once when the store is free, otherwise as soon as
// its import or batch ends, so that none is lost while the queue may not change.
class HandOver : public QObject {
    Q_OBJECT

public:
    explicit HandOver(AppState& state, QWidget* window = nullptr, QObject* parent = nullptr);

    // Takes `paths` (absolute; none only brings the window forward). On return the running
    // window holds them, so the launch that handed them over may end.
    void open(const QStringList& paths);
    // Files held until the store is free, in the order they arrived.
    const QStringList& waiting() const { return m_waiting; }

private:
    void bringWindowForward();
    bool storeIsBusy() const;
    void addWaiting(AppState::Summary summary);

    AppState& m_state;
    QPointer<QWidget> m_window;
    QStringList m_waiting;
};
