#pragma once

#include "SecretStore.h"

#include <functional>

class QObject;

// Keyring calls off the GUI thread: a Secret Service that is registered but never answers must
// not freeze the window for as long as D-Bus waits. Calls run one at a time, in the order they
// were made, on a thread of their own, against the store in use when they were made. The caller
// hears back within a bound: the store's reply, or `unanswered` once the bound has passed, never
// both. A call still waiting for its turn then is dropped when its turn comes; one already
// running cannot be taken back. Either way `late` follows once the call has ended, so that the
// caller can ask what the keyring now holds.
namespace KeyringQueue {

inline constexpr int defaultAnswerBoundMs = 5000;

using Work = std::function<SecretReply(SecretStore&)>;
using Done = std::function<void(const SecretReply&)>;
using Late = std::function<void()>;

// Runs `work` and hands its reply to `done` on `context`'s thread; nothing reaches `done` or
// `late` once `context` is gone. `work` must not throw.
void call(Work work, const SecretReply& unanswered, QObject* context, Done done, Late late = {});

// How long callers wait for the keyring (tests shorten it).
int answerBoundMs();
void setAnswerBoundMs(int milliseconds);

} // namespace KeyringQueue
