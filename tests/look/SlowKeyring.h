#pragma once

#include "cloud/SecretStore.h"

#include <QThread>

namespace Look {

// A keyring that takes a second and a half over every answer, then has nothing: long enough for
// a view to show that it waits, short enough not to hold up the states after it.
class SlowKeyring : public SecretStore {
public:
    SecretReply store(const QString&, const QString&, const QByteArray&) override { return late(); }
    SecretReply lookup(const QString&, const QString&) override { return late(); }
    SecretReply remove(const QString&, const QString&) override { return late(); }

private:
    static SecretReply late()
    {
        QThread::msleep(1500);
        return SecretReply::missing();
    }
};

} // namespace Look
