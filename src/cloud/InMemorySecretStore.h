#pragma once

#include "SecretStore.h"

#include <QMap>
#include <mutex>
#include <optional>
#include <utility>

// A secret store in memory, for tests and headless runs: it never touches the desktop keyring.
// Each operation can be made to fail with a given message. Safe to use from any thread; set the
// failures while no call is under way.
class InMemorySecretStore : public SecretStore {
public:
    SecretReply store(const QString& service, const QString& account,
                      const QByteArray& value) override;
    SecretReply lookup(const QString& service, const QString& account) override;
    SecretReply remove(const QString& service, const QString& account) override;

    std::optional<QString> failStore;
    std::optional<QString> failLookup;
    std::optional<QString> failRemove;

    // Successful stores so far.
    int writeCount() const;
    // The value held, bypassing the injected failures.
    std::optional<QByteArray> value(const QString& service, const QString& account) const;

private:
    mutable std::mutex m_lock;
    QMap<std::pair<QString, QString>, QByteArray> m_items;
    int m_writes = 0;
};
