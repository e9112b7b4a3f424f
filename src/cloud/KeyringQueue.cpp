#include "KeyringQueue.h"

#include "KeychainStore.h"
#include "core/Async.h"

#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>
#include <atomic>
#include <memory>
#include <optional>
#include <utility>

namespace KeyringQueue {
namespace {

std::atomic<int> bound{defaultAnswerBoundMs};

// One thread, so calls keep their order. Never destroyed: leaving the application must not wait
// for a call that the keyring never answers.
QThreadPool& keyringThread()
{
    static QThreadPool* pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(1);
        return created;
    }();
    return *pool;
}

// The caller's side of one call, on its thread: whichever of the reply and the bound comes first.
class Outcome {
public:
    Outcome(Done done, Late late) : m_done(std::move(done)), m_late(std::move(late)) {}

    void settle(const SecretReply& reply)
    {
        if (m_settled)
            return;
        m_settled = true;
        m_done(reply);
    }
    // The call's end on the keyring's thread: the store's reply, or nothing for a call dropped
    // at its turn. Either is news to a caller already told that the keyring did not answer.
    void end(const std::optional<SecretReply>& reply)
    {
        if (!m_settled && reply)
            settle(*reply);
        else if (m_settled && m_late)
            std::exchange(m_late, {})();
    }

private:
    Done m_done;
    Late m_late;
    bool m_settled = false;
};

} // namespace

void call(Work work, const SecretReply& unanswered, QObject* context, Done done, Late late)
{
    // The worker holds only what it needs, so the caller's function is never destroyed there.
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    auto outcome = std::make_shared<Outcome>(std::move(done), std::move(late));
    const std::shared_ptr<SecretStore> store = KeychainStore::store();
    const QFuture<std::optional<SecretReply>> reply =
        QtConcurrent::run(&keyringThread(), [abandoned, store, work = std::move(work)] {
            return *abandoned ? std::nullopt : std::optional<SecretReply>(work(*store));
        });
    whenFinished(reply, context,
                 [outcome](const std::optional<SecretReply>& answered) { outcome->end(answered); });
    QTimer::singleShot(answerBoundMs(), context, [abandoned, outcome, unanswered] {
        *abandoned = true;
        outcome->settle(unanswered);
    });
}

int answerBoundMs()
{
    return bound;
}

void setAnswerBoundMs(int milliseconds)
{
    bound = milliseconds;
}

} // namespace KeyringQueue
