#pragma once

#include "SecretStore.h"

// The desktop keyring over the Secret Service (libsecret, synchronous calls). Items carry the
// attributes "service" and "account" and live in the default collection, where they stay until
// removed; the keyring unlocks them with the user's session.
class LibsecretStore : public SecretStore {
public:
    SecretReply store(const QString& service, const QString& account,
                      const QByteArray& value) override;
    SecretReply lookup(const QString& service, const QString& account) override;
    SecretReply remove(const QString& service, const QString& account) override;
};
