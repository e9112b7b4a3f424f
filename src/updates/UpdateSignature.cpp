#include "UpdateSignature.h"

#include "core/EngineError.h"

#include <QFile>
#include <mutex>
#include <sodium.h>

namespace UpdateSignature {

namespace {

void initSodium()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0)
            throw PlatformError(QStringLiteral("The signature library could not start."));
    });
}

// Strict base64: anything else, or the wrong decoded size, gives an empty array.
QByteArray decode(const QString& text, qsizetype size)
{
    const auto result = QByteArray::fromBase64Encoding(text.trimmed().toLatin1(),
                                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() != size)
        return {};
    return result.decoded;
}

} // namespace

bool isValidPublicKey(const QString& publicKey)
{
    return !decode(publicKey, crypto_sign_PUBLICKEYBYTES).isEmpty();
}

void verify(int fd, const QString& signature, const QString& publicKey)
{
    initSodium();
    const QByteArray key = decode(publicKey, crypto_sign_PUBLICKEYBYTES);
    if (key.isEmpty())
        throw MessageError(QStringLiteral("This build’s update key is not valid."));
    const QByteArray sig = decode(signature, crypto_sign_BYTES);
    if (sig.isEmpty())
        throw MessageError(QStringLiteral("The update’s signature is malformed."));

    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw MessageError(QStringLiteral("The downloaded update could not be read."));
    // Mapped, not read: archives hold the models and can be large.
    const qint64 size = file.size();
    const uchar* data = size > 0 ? file.map(0, size) : nullptr;
    if (size > 0 && !data)
        throw MessageError(QStringLiteral("The downloaded update could not be read."));
    const int result = crypto_sign_verify_detached(
        reinterpret_cast<const unsigned char*>(sig.constData()), data, quint64(size),
        reinterpret_cast<const unsigned char*>(key.constData()));
    if (result != 0)
        throw MessageError(
            QStringLiteral("The update’s signature does not match. It was not installed."));
}

} // namespace UpdateSignature
