#include "KeychainStore.h"

#include "LibsecretStore.h"
#include "core/EngineError.h"

namespace KeychainStore {
namespace {

std::shared_ptr<SecretStore>& current()
{
    static std::shared_ptr<SecretStore> instance = std::make_shared<LibsecretStore>();
    return instance;
}

// "<action> failed: <message>." with exactly one closing full stop.
MessageError failure(const QString& action, QString message)
{
    while (message.endsWith(u'.'))
        message.chop(1);
    return MessageError(action + QStringLiteral(" failed: ") + message + u'.');
}

QString serviceName()
{
    return QString::fromUtf16(service);
}

} // namespace

void save(const QByteArray& data, const QString& account)
{
    const SecretReply reply = current()->store(serviceName(), account, data);
    if (reply.status != SecretReply::Status::ok)
        throw failure(QStringLiteral("Saving the key to the keyring"), reply.message);
}

std::optional<QByteArray> read(const QString& account)
{
    const SecretReply reply = current()->lookup(serviceName(), account);
    if (reply.status != SecretReply::Status::ok)
        return std::nullopt;
    return reply.value;
}

std::optional<QByteArray> lookup(const QString& account)
{
    const SecretReply reply = current()->lookup(serviceName(), account);
    if (reply.status == SecretReply::Status::failed)
        throw failure(QStringLiteral("Reading from the keyring"), reply.message);
    if (reply.status == SecretReply::Status::missing)
        return std::nullopt;
    return reply.value;
}

void remove(const QString& account)
{
    const SecretReply reply = current()->remove(serviceName(), account);
    if (reply.status == SecretReply::Status::failed)
        throw failure(QStringLiteral("Removing the key from the keyring"), reply.message);
}

std::shared_ptr<SecretStore> store()
{
    return current();
}

void setStore(std::shared_ptr<SecretStore> store)
{
    current() = std::move(store);
}

} // namespace KeychainStore
