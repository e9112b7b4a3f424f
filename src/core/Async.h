#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

// Calls `handler(result)` on `context`'s thread once `future` is finished; nothing happens when
// `context` is destroyed first. A watcher, because QFuture::then(context, …) can deadlock on
// Qt 6.4 when the future finishes while the continuation is being attached.
template <typename T, typename Handler>
void whenFinished(const QFuture<T>& future, QObject* context, Handler handler)
{
    auto* watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcher<T>::finished, context,
                     [watcher, handler = std::move(handler)] {
                         watcher->deleteLater();
                         handler(watcher->result());
                     });
    watcher->setFuture(future);
}
