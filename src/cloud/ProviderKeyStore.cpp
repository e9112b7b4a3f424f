#include "ProviderKeyStore.h"

#include "KeychainStore.h"
#include "core/EngineError.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QStringDecoder>
#include <QStringList>
#include <QTextBoundaryFinder>

namespace ProviderKeyStore {
namespace {

const QString invalidKey = QStringLiteral("Enter a valid xAI API key.");

QStringList graphemeClusters(const QString& text)
{
    QStringList clusters;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        clusters.append(text.mid(start, end - start));
        start = end;
    }
    return clusters;
}

bool containsSpace(const QString& text)
{
    for (const char32_t codePoint : text.toUcs4())
        if (QChar::isSpace(codePoint))
            return true;
    return false;
}

bool containsControl(const QString& text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

} // namespace

bool isValidKey(const QString& key)
{
    const QString trimmed = key.trimmed();
    const QStringList clusters = graphemeClusters(trimmed);
    const bool prefixed = clusters.size() >= 4 && clusters[0] == u"x" && clusters[1] == u"a" &&
                          clusters[2] == u"i" && clusters[3] == u"-";
    return prefixed && clusters.size() >= minimumKeyLength && clusters.size() <= maximumKeyLength &&
           !containsSpace(trimmed) && !containsControl(trimmed);
}

void saveGrok(const QString& key)
{
    const QString trimmed = key.trimmed();
    if (!isValidKey(trimmed))
        throw MessageError(invalidKey);
    KeychainStore::save(trimmed.toUtf8(), QString::fromUtf16(xaiAccount));
}

void saveGrokLater(const QString& key, QObject* context,
                   std::function<void(const QString& error)> done, std::function<void()> late)
{
    const QString trimmed = key.trimmed();
    if (!isValidKey(trimmed)) {
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done(invalidKey); }, Qt::QueuedConnection);
        return;
    }
    KeychainStore::saveLater(trimmed.toUtf8(), QString::fromUtf16(xaiAccount), context,
                             std::move(done), std::move(late));
}

std::optional<QString> readKeyText()
{
    const std::optional<QByteArray> bytes = KeychainStore::read(QString::fromUtf16(xaiAccount));
    if (!bytes)
        return std::nullopt;
    return decodeUtf8(*bytes);
}

void readLater(QObject* context, std::function<void(const SecretReply&)> done,
               std::function<void()> late)
{
    KeychainStore::readLater(QString::fromUtf16(xaiAccount), context, std::move(done),
                             std::move(late));
}

std::optional<QString> usableKey(const SecretReply& reply)
{
    if (reply.status != SecretReply::Status::ok)
        return std::nullopt;
    const std::optional<QString> key = decodeUtf8(reply.value);
    if (!key || containsControl(*key))
        return std::nullopt;
    return key;
}

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace ProviderKeyStore
