#include "ServiceAccount.h"

#include "KeychainStore.h"

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
    const QString name = QString::fromUtf16(account);
    if (const auto stored = KeychainStore::lookup(name)) {
        const QString text = QString::fromLatin1(*stored);
        if (isToken(text))
            return text;
    }
    const QString made = newToken();
    KeychainStore::save(made.toLatin1(), name);
    return made;
}

} // namespace ServiceAccount
