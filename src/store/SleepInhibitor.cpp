#include "SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <unistd.h>

SleepInhibitor::SleepInhibitor(const QString& why, QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Tolvane") << why
         << QStringLiteral("block");
    // Asynchronous, so a slow or absent logind never holds up the GUI thread.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        w->deleteLater();
        if (reply.isError() || !reply.value().isValid())
            return;
        m_fd = ::dup(reply.value().fileDescriptor());
    });
}

SleepInhibitor::~SleepInhibitor()
{
    // Closing our copy of the descriptor is what ends the inhibition.
    if (m_fd >= 0)
        ::close(m_fd);
}
