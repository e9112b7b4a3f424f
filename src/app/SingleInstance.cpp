#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUrl>
#include <QVariantMap>

const QString SingleInstance::serviceName = QStringLiteral("com.vandelorn.Tolvane");
const QString SingleInstance::objectPath = QStringLiteral("/com/vandelorn/Tolvane");

namespace {

const QString applicationInterface = QStringLiteral("org.freedesktop.Application");

// The answering side: files arrive as file URIs; anything else is ignored.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(SingleInstance* instance)
        : QDBusAbstractAdaptor(instance), m_instance(instance)
    {
    }

public Q_SLOTS:
    void Activate(const QVariantMap&) { Q_EMIT m_instance->opened({}); }

    void Open(const QStringList& uris, const QVariantMap&)
    {
        QStringList paths;
        for (const QString& uri : uris) {
            const QUrl url(uri);
            if (url.isLocalFile() && !url.toLocalFile().isEmpty())
                paths << url.toLocalFile();
        }
        Q_EMIT m_instance->opened(paths);
    }

private:
    SingleInstance* m_instance;
};

QStringList fileUris(const QStringList& paths)
{
    QStringList uris;
    for (const QString& path : paths)
        uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    return uris;
}

// True when the owner has the files, or may still take them: a slow answer is not a refusal,
// and starting a second window then would split the queue.
bool handOver(QDBusConnection& bus, const QStringList& paths)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        SingleInstance::serviceName, SingleInstance::objectPath, applicationInterface,
        paths.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!paths.isEmpty())
        call << fileUris(paths);
    call << QVariantMap();
    const QDBusMessage reply = bus.call(call, QDBus::Block, SingleInstance::handOverTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    const QString error = reply.errorName();
    return error == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
           error == QStringLiteral("org.freedesktop.DBus.Error.Timeout");
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent)
{
    new ApplicationAdaptor(this);
}

SingleInstance::~SingleInstance()
{
    release();
}

void SingleInstance::release()
{
    if (!m_registered)
        return;
    m_registered = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(serviceName);
    bus.unregisterObject(objectPath);
}

SingleInstance::Role SingleInstance::claim(const QStringList& paths)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return Role::alone;
    // The object first, so that whoever sees the name finds it answering.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors))
        return Role::alone;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        // The copy an installed update relaunches at quit must find the name free; this runs
        // before the updater's own handler, which is connected later.
        if (QCoreApplication* app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, this, &SingleInstance::release);
        return Role::primary;
    }
    bus.unregisterObject(objectPath);
    if (!reply.isValid())
        return Role::alone;
    return handOver(bus, paths) ? Role::handedOver : Role::alone;
}

#include "SingleInstance.moc"
