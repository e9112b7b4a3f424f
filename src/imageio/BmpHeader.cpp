#include "BmpHeader.h"

#include <QIODevice>
#include <QtEndian>
#include <cstdlib>

namespace BmpHeader {

std::optional<QSize> size(QIODevice& file)
{
    if (!file.isOpen() || !file.seek(0))
        return std::nullopt;
    const QByteArray head = file.read(26);
    if (head.size() < 26 || !head.startsWith("BM"))
        return std::nullopt;
    // File header (14 bytes), then the info header: its size, width and height, little-endian.
    const quint32 infoSize = qFromLittleEndian<quint32>(head.constData() + 14);
    if (infoSize < 40)
        return std::nullopt;
    const qint32 width = qFromLittleEndian<qint32>(head.constData() + 18);
    const qint32 height = qFromLittleEndian<qint32>(head.constData() + 22);
    if (width <= 0 || height == 0 || height == INT32_MIN)
        return std::nullopt;
    return QSize(width, std::abs(height));
}

} // namespace BmpHeader
