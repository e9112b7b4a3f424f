#pragma once

#include <QByteArray>
#include <QString>

// The answer of a secret store: ok (with the value, for lookups), missing, or failed with the
// store's own one-line message.
struct SecretReply {
    enum class Status { ok, missing, failed };

    Status status = Status::failed;
    QByteArray value;
    QString message;

    static SecretReply ok(const QByteArray& value = {}) { return {Status::ok, value, {}}; }
    static SecretReply missing() { return {Status::missing, {}, {}}; }
    static SecretReply failed(const QString& message) { return {Status::failed, {}, message}; }
};

// One binary value per (service, account). Calls are synchronous and may block for as long as
// the store takes; the application makes them on the keyring's own thread (KeyringQueue).
class SecretStore {
public:
    virtual ~SecretStore() = default;
    // Creates the item or replaces its value.
    virtual SecretReply store(const QString& service, const QString& account,
                              const QByteArray& value) = 0;
    virtual SecretReply lookup(const QString& service, const QString& account) = 0;
    // A missing item answers `missing`, not `failed`.
    virtual SecretReply remove(const QString& service, const QString& account) = 0;
};
