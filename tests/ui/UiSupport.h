#pragma once

#include "store/AppState.h"

#include <QTemporaryDir>
#include <atomic>
#include <memory>

namespace UiSupport {

// A queued item as the import would make it; a non-empty `output` belongs to a done item.
Item item(const QString& name, QSize size, Item::Status status = Item::Status::pending(),
          const QString& output = {}, std::optional<QSize> outputSize = std::nullopt);
QImage thumbnail(QSize size, QColor colour);
// The text a tooltip shows for `tip`: tooltips render anything that looks like markup.
QString toolTipShows(const QString& tip);

// A store with its own settings file and folder, for one test.
class StoreFixture {
public:
    StoreFixture();
    ~StoreFixture();

    AppState& state() { return *m_state; }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // Writes small PNG files and queues them through a real import; false on timeout.
    bool importImages(const QStringList& names);
    // Starts a batch whose items stay working until releaseBatch() or a stop.
    bool startHeldBatch();
    void releaseBatch() { *m_released = true; }
    // An import that stays under way (its worker waits on a named pipe) until finishImport().
    bool beginHeldImport();
    bool finishImport();
    // Counts open-panel requests that reach the store's panel.
    int panelCalls() const { return *m_panelCalls; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppState> m_state;
    std::shared_ptr<std::atomic_bool> m_released = std::make_shared<std::atomic_bool>(false);
    std::shared_ptr<int> m_panelCalls = std::make_shared<int>(0);
};

} // namespace UiSupport
