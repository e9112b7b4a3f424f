#pragma once

#include "cloud/KeyringQueue.h"
#include "cloud/SecretStore.h"

#include <QThread>
#include <memory>

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

// The slow keyring, with callers that stop waiting for it long before it answers: the views as
// they are when the keyring is silent. Settle with endSilence() once they have given up.
inline void beginSilence(std::shared_ptr<SecretStore>& keyring)
{
    KeyringQueue::setAnswerBoundMs(400);
    keyring = std::make_shared<SlowKeyring>();
}
inline void endSilence()
{
    KeyringQueue::setAnswerBoundMs(KeyringQueue::defaultAnswerBoundMs);
}

} // namespace Look
