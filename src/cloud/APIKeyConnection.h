#pragma once

#include "SecretStore.h"

#include <QObject>
#include <QString>
#include <functional>

struct HttpOutcome;

// Behind the provider-key view: whether an xAI key is stored, a check of a new key against
// xAI's model list before it is stored, and removal. Every outcome is one sentence in message()
// (a null text when there is none); nothing is thrown. GUI thread only; the keyring is asked off
// it, so saved() is false until the keyring has answered. A keyring that answers only after its
// bound is read again then, so the view ends up showing what is really stored.
class APIKeyConnection : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool saved READ saved NOTIFY savedChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(bool succeeded READ succeeded NOTIFY succeededChanged)
    Q_PROPERTY(bool reading READ reading NOTIFY readingChanged)
    Q_PROPERTY(bool unread READ unread NOTIFY unreadChanged)

public:
    // The model the studio generates with, looked for among the key's models.
    inline static const QString imageModel = QStringLiteral("grok-imagine-image-2.0");

    explicit APIKeyConnection(QObject* parent = nullptr);

    bool saved() const { return m_saved; }
    bool busy() const { return m_busy; }
    QString message() const { return m_message; }
    bool succeeded() const { return m_succeeded; }
    // Whether the keyring has yet to say if a key is stored (at most its answer bound).
    bool reading() const { return m_reading; }
    // Whether the keyring's last answer left it unknown if a key is stored (message() says why);
    // saved() is then no statement that there is none.
    bool unread() const { return m_unread; }

    // Checks the trimmed key with xAI and stores it only when xAI accepts it; `done(stored)`
    // follows unless this object is gone by then. A check that outlives this object still
    // stores an accepted key.
    void connect(const QString& key, std::function<void(bool)> done = {});
    // Deletes the stored key; a missing key counts as removed. The outcome follows once the
    // keyring has answered, then `done`.
    void remove(std::function<void()> done = {});

    // What xAI's answer means: whether to store the key, and the sentence for the user (the one
    // to show once it is stored, when it is to be stored).
    struct Verdict {
        bool stored = false;
        QString message;
    };
    static Verdict judge(const HttpOutcome& outcome);

Q_SIGNALS:
    void savedChanged(bool saved);
    void busyChanged(bool busy);
    void messageChanged(const QString& message);
    void succeededChanged(bool succeeded);
    void readingChanged(bool reading);
    void unreadChanged(bool unread);

private:
    // Reads the item; `then` gets the answer unless a later read or an own outcome came first.
    void read(std::function<void(const SecretReply&)> then);
    // Shows the item as read: saved, or unread with the keyring's sentence.
    void showStored(const SecretReply& stored);
    // Once a save reported unanswered has ended: what the keyring now holds decides.
    void concludeLateSave(const QString& key, const Verdict& verdict);
    void concludeRemoval(const QString& error);
    void conclude(const Verdict& verdict);
    void setSaved(bool saved);
    void setBusy(bool busy);
    void setMessage(const QString& message);
    void setSucceeded(bool succeeded);
    void setReading(bool reading);
    void setUnread(bool unread);

    bool m_saved = false;
    bool m_busy = false;
    QString m_message;
    bool m_succeeded = false;
    bool m_reading = true;
    bool m_unread = false;
    // Only the latest read counts; an own save or removal that has spoken outdates every read.
    int m_reads = 0;
};
