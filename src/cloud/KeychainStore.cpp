#include "KeychainStore.h"

#include "KeyringQueue.h"
#include "LibsecretStore.h"
#include "core/EngineError.h"

#include <mutex>

namespace KeychainStore {
namespace {

const QString saving = QStringLiteral("Saving the key to the keyring");
const QString reading = QStringLiteral("Reading from the keyring");
const QString removing = QStringLiteral("Removing the key from the keyring");

// Replaced by tests while calls of the keyring's thread may be reading it.
std::mutex storeLock;

std::shared_ptr<SecretStore>& current()
{
    static std::shared_ptr<SecretStore> instance = std::make_shared<LibsecretStore>();
    return instance;
}

// "<action> failed: <message>." with exactly one closing full stop.
QString failure(const QString& action, QString message)
{
    while (message.endsWith(u'.'))
        message.chop(1);
    return action + QStringLiteral(" failed: ") + message + u'.';
}

QString serviceName()
{
    return QString::fromUtf16(service);
}

// The failure's sentence of a store's reply to a save or a removal; null when it succeeded.
QString errorOf(const SecretReply& reply, const QString& action, bool missingIsFine)
{
    const bool fine = reply.status == SecretReply::Status::ok ||
                      (missingIsFine && reply.status == SecretReply::Status::missing);
    return fine ? QString() : failure(action, reply.message);
}

} // namespace

void save(SecretStore& store, const QByteArray& data, const QString& account)
{
    const QString error = errorOf(store.store(serviceName(), account, data), saving, false);
    if (!error.isNull())
        throw MessageError(error);
}

std::optional<QByteArray> lookup(SecretStore& store, const QString& account)
{
    const SecretReply reply = store.lookup(serviceName(), account);
    if (reply.status == SecretReply::Status::failed)
        throw MessageError(failure(reading, reply.message));
    if (reply.status == SecretReply::Status::missing)
        return std::nullopt;
    return reply.value;
}

void save(const QByteArray& data, const QString& account)
{
    save(*store(), data, account);
}

std::optional<QByteArray> read(const QString& account)
{
    const SecretReply reply = store()->lookup(serviceName(), account);
    if (reply.status != SecretReply::Status::ok)
        return std::nullopt;
    return reply.value;
}

std::optional<QByteArray> lookup(const QString& account)
{
    return lookup(*store(), account);
}

void remove(const QString& account)
{
    const QString error = errorOf(store()->remove(serviceName(), account), removing, true);
    if (!error.isNull())
        throw MessageError(error);
}

void readLater(const QString& account, QObject* context,
               std::function<void(const SecretReply&)> done, std::function<void()> late)
{
    KeyringQueue::call(
        [account](SecretStore& store) { return store.lookup(serviceName(), account); },
        SecretReply::failed(noAnswer), context, std::move(done), std::move(late));
}

void saveLater(const QByteArray& data, const QString& account, QObject* context,
               std::function<void(const QString& error)> done, std::function<void()> late)
{
    KeyringQueue::call(
        [data, account](SecretStore& store) { return store.store(serviceName(), account, data); },
        SecretReply::failed(noAnswer), context,
        [done = std::move(done)](const SecretReply& reply) {
            done(errorOf(reply, saving, false));
        },
        std::move(late));
}

void removeLater(const QString& account, QObject* context,
                 std::function<void(const QString& error)> done, std::function<void()> late)
{
    KeyringQueue::call(
        [account](SecretStore& store) { return store.remove(serviceName(), account); },
        SecretReply::failed(noAnswer), context,
        [done = std::move(done)](const SecretReply& reply) {
            done(errorOf(reply, removing, true));
        },
        std::move(late));
}

QString readFailure(const QString& message)
{
    return failure(reading, message);
}

bool isUnanswered(const SecretReply& reply)
{
    return reply.status == SecretReply::Status::failed && reply.message == noAnswer;
}

bool isUnanswered(const QString& error)
{
    return error == failure(saving, noAnswer) || error == failure(removing, noAnswer);
}

std::shared_ptr<SecretStore> store()
{
    const std::lock_guard<std::mutex> guard(storeLock);
    return current();
}

void setStore(std::shared_ptr<SecretStore> store)
{
    const std::lock_guard<std::mutex> guard(storeLock);
    current() = std::move(store);
}

} // namespace KeychainStore
