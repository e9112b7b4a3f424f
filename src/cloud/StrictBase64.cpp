#include "StrictBase64.h"

std::optional<QByteArray> strictBase64Decode(const QString& text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    for (const QChar c : text)
        if (c.unicode() > 0x7F)
            return std::nullopt;
    const auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok)
        return std::nullopt;
    return decoded.decoded;
}
