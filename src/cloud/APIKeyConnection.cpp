#include "APIKeyConnection.h"

#include "CloudEndpoints.h"
#include "HttpExchange.h"
#include "JsonReader.h"
#include "KeychainStore.h"
#include "ProviderKeyStore.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>
#include <memory>

namespace {

constexpr int checkTimeoutMs = 20'000;

const QString malformedKey = QStringLiteral(
    "xAI keys start with xai-. Paste the complete API key, without spaces. A Grok sign-in or "
    "subscription is not an API key.");
const QString noConnection =
    QStringLiteral("Couldn\u2019t verify the connection. Check your internet connection and try "
                   "again. Your previous key is unchanged.");

const QString saveUnanswered = QStringLiteral(
    "xAI accepted the key, but the keyring has not answered yet. This shows what it stores once "
    "it answers.");
const QString removeUnanswered = QStringLiteral(
    "The keyring has not answered yet. This shows whether the key was removed once it answers.");
const QString notStored = QStringLiteral("The keyring did not store the key. Try again.");
const QString removed = QStringLiteral("Your xAI key was removed from this computer.");
const QString notRemoved = QStringLiteral("Keyring couldn\u2019t remove the key. Try again.");

const QString unexpectedResponse = QStringLiteral(
    "xAI returned an unexpected response. Try again shortly. Your previous key is unchanged.");

QString refusal(int status)
{
    switch (status) {
    case 401:
        return QStringLiteral("xAI did not accept this key. Copy a fresh API key from the xAI "
                              "console and try again.");
    case 403:
        return QStringLiteral("This key does not have permission. Check your xAI team and enable "
                              "image-model access in the console.");
    case 429:
        return QStringLiteral("xAI is limiting requests. Check your API balance and limits, then "
                              "try again shortly.");
    default:
        return QStringLiteral("xAI is temporarily unavailable (") + QString::number(status) +
               QStringLiteral("). Try again shortly. Your previous key is unchanged.");
    }
}

// Whether xAI's model list names the image model as an id or, failing that, an alias. Every
// entry is read first, so a malformed entry anywhere fails the whole list.
bool listsImageModel(const QByteArray& body)
{
    bool found = false;
    for (const QJsonValue& entry : JsonReader::parse(body).array(QStringLiteral("data"))) {
        const JsonReader model = JsonReader::of(entry);
        bool named = model.string(QStringLiteral("id")) == APIKeyConnection::imageModel;
        const auto aliases = model.optionalArray(QStringLiteral("aliases"));
        for (const QJsonValue& alias : aliases.value_or(QJsonArray()))
            named = JsonReader::toString(alias) == APIKeyConnection::imageModel || named;
        found = found || named;
    }
    return found;
}

QNetworkRequest checkRequest(const QString& key)
{
    QNetworkRequest request(
        CloudEndpoints::join(CloudEndpoints::xaiApi(), QStringLiteral("v1/models")));
    request.setTransferTimeout(checkTimeoutMs);
    request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    // The key must never travel to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    return request;
}

} // namespace

APIKeyConnection::APIKeyConnection(QObject* parent) : QObject(parent)
{
    read([this](const SecretReply& stored) { showStored(stored); });
}

void APIKeyConnection::read(std::function<void(const SecretReply&)> then)
{
    const int number = ++m_reads;
    // Any answer ends the first wait, even one that an own outcome has made stale.
    auto answered = [this, number, then](const SecretReply& stored) {
        if (number == m_reads)
            then(stored);
        setReading(false);
    };
    // A read that ends after its bound is news too: read once more and show that.
    ProviderKeyStore::readLater(this, answered, [this] {
        read([this](const SecretReply& stored) { showStored(stored); });
    });
}

void APIKeyConnection::showStored(const SecretReply& stored)
{
    const bool known = stored.status != SecretReply::Status::failed;
    setUnread(!known);
    setSaved(ProviderKeyStore::usableKey(stored).has_value());
    if (!known)
        setMessage(KeychainStore::readFailure(stored.message));
    else if (m_message == KeychainStore::readFailure(KeychainStore::noAnswer))
        setMessage(QString());
}

APIKeyConnection::Verdict APIKeyConnection::judge(const HttpOutcome& outcome)
{
    if (outcome.tooLarge)
        return {false, unexpectedResponse};
    if (!outcome.answered())
        return {false, noConnection};
    if (outcome.status != 200)
        return {false, refusal(outcome.status)};
    bool found = false;
    try {
        found = listsImageModel(outcome.body);
    } catch (const DecodeError&) {
        return {false, unexpectedResponse};
    }
    if (found)
        return {true, QStringLiteral("Connected. Your key is stored in this computer\u2019s "
                                     "keyring. Choose a model in Studio to create your first "
                                     "image.")};
    return {true, QStringLiteral("Key verified and saved. Check that your xAI team has access to "
                                 "Grok Imagine 2.0 before generating.")};
}

void APIKeyConnection::connect(const QString& key, std::function<void(bool)> done)
{
    const QString trimmed = key.trimmed();
    setSucceeded(false);
    if (!ProviderKeyStore::isValidKey(trimmed)) {
        setMessage(malformedKey);
        if (done)
            done(false);
        return;
    }
    setBusy(true);
    setMessage(QStringLiteral("Checking your key directly with xAI\u2026"));

    // A manager of its own (no cookies, cache or credentials shared with anything else), owned
    // by the check rather than by this object, so an accepted key is stored even when the view
    // that asked is gone.
    struct Check {
        QString key;
        QPointer<APIKeyConnection> owner;
        std::function<void(bool)> done;

        void conclude(const Verdict& verdict) const
        {
            if (!owner)
                return;
            owner->conclude(verdict);
            if (done)
                done(verdict.stored);
        }
    };
    auto check = std::make_shared<Check>(Check{trimmed, this, std::move(done)});
    auto* manager = new QNetworkAccessManager(QCoreApplication::instance());
    HttpExchange::send(
        *manager, checkRequest(trimmed), "GET", {}, HttpExchange::jsonLimit, manager,
        [check, manager](const HttpOutcome& outcome) {
            manager->deleteLater();
            const Verdict verdict = judge(outcome);
            if (!verdict.stored) {
                check->conclude(verdict);
                return;
            }
            ProviderKeyStore::saveGrokLater(
                check->key, QCoreApplication::instance(),
                [check, verdict](const QString& error) {
                    // The save may still happen: no failure is claimed, and the view is told
                    // what the keyring holds once it has ended.
                    if (KeychainStore::isUnanswered(error))
                        check->conclude({false, saveUnanswered});
                    // xAI accepted the key; if the keyring failed, its sentence says why.
                    else
                        check->conclude(error.isNull() ? verdict : Verdict{false, error});
                },
                [check, verdict] {
                    if (check->owner)
                        check->owner->concludeLateSave(check->key, verdict);
                });
        });
}

void APIKeyConnection::concludeLateSave(const QString& key, const Verdict& verdict)
{
    read([this, key, verdict](const SecretReply& stored) {
        if (ProviderKeyStore::usableKey(stored) == key) {
            conclude(verdict);
            return;
        }
        showStored(stored);
        if (!m_unread)
            setMessage(notStored);
    });
}

void APIKeyConnection::conclude(const Verdict& verdict)
{
    if (verdict.stored) {
        ++m_reads;
        setUnread(false);
        setSaved(true);
        setSucceeded(true);
    }
    setMessage(verdict.message);
    setBusy(false);
}

void APIKeyConnection::remove(std::function<void()> done)
{
    const QString account = QString::fromUtf16(ProviderKeyStore::xaiAccount);
    KeychainStore::removeLater(
        account, this,
        [this, done](const QString& error) {
            concludeRemoval(error);
            if (done)
                done();
        },
        [this] {
            read([this](const SecretReply& stored) {
                showStored(stored);
                if (!m_unread)
                    concludeRemoval(stored.status == SecretReply::Status::missing ? QString()
                                                                                  : notRemoved);
            });
        });
}

void APIKeyConnection::concludeRemoval(const QString& error)
{
    if (error.isNull()) {
        ++m_reads;
        setUnread(false);
        setSaved(false);
        setSucceeded(true);
        setMessage(removed);
    } else {
        setSucceeded(false);
        setMessage(KeychainStore::isUnanswered(error) ? removeUnanswered : notRemoved);
    }
}

void APIKeyConnection::setSaved(bool saved)
{
    if (m_saved == saved)
        return;
    m_saved = saved;
    Q_EMIT savedChanged(saved);
}

void APIKeyConnection::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged(busy);
}

void APIKeyConnection::setMessage(const QString& message)
{
    if (m_message == message && m_message.isNull() == message.isNull())
        return;
    m_message = message;
    Q_EMIT messageChanged(message);
}

void APIKeyConnection::setSucceeded(bool succeeded)
{
    if (m_succeeded == succeeded)
        return;
    m_succeeded = succeeded;
    Q_EMIT succeededChanged(succeeded);
}

void APIKeyConnection::setUnread(bool unread)
{
    if (m_unread == unread)
        return;
    m_unread = unread;
    Q_EMIT unreadChanged(unread);
}

void APIKeyConnection::setReading(bool reading)
{
    if (m_reading == reading)
        return;
    m_reading = reading;
    Q_EMIT readingChanged(reading);
}
