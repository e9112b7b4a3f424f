#include "ExifOrientation.h"

#include <QIODevice>
#include <QTransform>
#include <QtEndian>

namespace ExifOrientation {

namespace {

// EXIF blocks are small; anything larger is not worth reading for one tag.
constexpr qint64 maxExifBytes = qint64(1) << 20;
// Walks stop after this many chunks: a PNG of tiny data chunks must not keep the reader busy.
constexpr int maxChunks = 100000;

using Transformations = QImageIOHandler::Transformations;

Transformations fromExifValue(int value)
{
    switch (value) {
    case 2:
        return QImageIOHandler::TransformationMirror;
    case 3:
        return QImageIOHandler::TransformationRotate180;
    case 4:
        return QImageIOHandler::TransformationFlip;
    case 5:
        return QImageIOHandler::TransformationFlipAndRotate90;
    case 6:
        return QImageIOHandler::TransformationRotate90;
    case 7:
        return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8:
        return QImageIOHandler::TransformationRotate270;
    default:
        return QImageIOHandler::TransformationNone;
    }
}

// PNG: length, type, data, CRC per chunk; eXIf may come before or after the image data.
QByteArray pngExif(QIODevice& device)
{
    qint64 at = 8;
    for (int n = 0; n < maxChunks && device.seek(at); ++n) {
        const QByteArray header = device.read(8);
        if (header.size() < 8)
            return {};
        const qint64 length = qFromBigEndian<quint32>(header.constData());
        const QByteArray type = header.mid(4);
        if (type == "eXIf")
            return length <= maxExifBytes ? device.read(length) : QByteArray();
        if (type == "IEND")
            return {};
        at += 12 + length;
    }
    return {};
}

// WebP: a RIFF file of chunks with little-endian sizes, each padded to an even length.
QByteArray webpExif(QIODevice& device)
{
    qint64 at = 12;
    for (int n = 0; n < maxChunks && device.seek(at); ++n) {
        const QByteArray header = device.read(8);
        if (header.size() < 8)
            return {};
        const qint64 length = qFromLittleEndian<quint32>(header.constData() + 4);
        if (header.startsWith("EXIF"))
            return length <= maxExifBytes ? device.read(length) : QByteArray();
        at += 8 + length + (length & 1);
    }
    return {};
}

} // namespace

Transformations ofExif(const QByteArray& data)
{
    const QByteArray exif = data.startsWith(QByteArray("Exif\0\0", 6)) ? data.mid(6) : data;
    if (exif.size() < 8)
        return QImageIOHandler::TransformationNone;
    const bool little = exif.startsWith("II");
    if (!little && !exif.startsWith("MM"))
        return QImageIOHandler::TransformationNone;
    const auto u16 = [&](qint64 at) -> int {
        if (at < 0 || at + 2 > exif.size())
            return -1;
        const char* p = exif.constData() + at;
        return little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
    };
    const auto u32 = [&](qint64 at) -> qint64 {
        const char* p = exif.constData() + at;
        return little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
    };
    const qint64 ifd = u32(4);
    const int entries = u16(ifd);
    for (int i = 0; i < entries; ++i) {
        const qint64 entry = ifd + 2 + 12 * qint64(i);
        if (entry + 12 > exif.size())
            break;
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3)
            return fromExifValue(u16(entry + 8));
    }
    return QImageIOHandler::TransformationNone;
}

Transformations ofContainer(QIODevice& device)
{
    const qint64 start = device.pos();
    if (!device.seek(0))
        return QImageIOHandler::TransformationNone;
    const QByteArray head = device.read(12);
    QByteArray exif;
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        exif = pngExif(device);
    else if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        exif = webpExif(device);
    device.seek(start);
    return ofExif(exif);
}

QImage apply(QImage image, Transformations transformation)
{
    if (image.isNull() || transformation == QImageIOHandler::TransformationNone)
        return image;
    const bool mirror = transformation & QImageIOHandler::TransformationMirror;
    const bool flip = transformation & QImageIOHandler::TransformationFlip;
    if (mirror || flip)
        image = image.mirrored(mirror, flip);
    if (transformation & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

} // namespace ExifOrientation
