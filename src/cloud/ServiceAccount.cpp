#include "ServiceAccount.h"

#include "KeychainStore.h"
#include "KeyringQueue.h"
#include "core/EngineError.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <array>

namespace ServiceAccount {
namespace {

constexpr int tokenBytes = 32;
constexpr int tokenLength = 43; // base64url of 32 bytes, no padding

QString newToken()
{
    std::array<quint32, tokenBytes / 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()), tokenBytes);
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

bool isToken(const QString& text)
{
    if (text.size() != tokenLength)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
                             (u >= u'0' && u <= u'9') || u == u'-' || u == u'_';
        if (!allowed)
            return false;
    }
    return true;
}

QString token()
{
    return token(*KeychainStore::store());
}

QString token(SecretStore& store)
{
    const QString name = QString::fromUtf16(account);
    if (const auto stored = KeychainStore::lookup(store, name)) {
        const QString text = QString::fromLatin1(*stored);
        if (isToken(text))
            return text;
    }
    const QString made = newToken();
    KeychainStore::save(store, made.toLatin1(), name);
    return made;
}

void tokenLater(QObject* context, std::function<void(const Result<QString>&)> done)
{
    const auto work = [](SecretStore& store) {
        try {
            return SecretReply::ok(token(store).toLatin1());
        } catch (const MessageError& error) {
            return SecretReply::failed(error.message());
        }
    };
    KeyringQueue::call(work,
                       SecretReply::failed(KeychainStore::readFailure(KeychainStore::noAnswer)),
                       context, [done = std::move(done)](const SecretReply& reply) {
                           if (reply.status == SecretReply::Status::ok)
                               done(Result<QString>::success(QString::fromLatin1(reply.value)));
                           else
                               done(Result<QString>::failure(reply.message));
                       });
}

} // namespace ServiceAccount
