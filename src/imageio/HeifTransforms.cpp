#include "HeifTransforms.h"

#include <QIODevice>
#include <QTransform>
#include <QtEndian>
#include <optional>

namespace HeifTransforms {

namespace {

// A metadata box larger than this is no photograph's.
constexpr qint64 maxMetaBytes = qint64(16) << 20;

quint32 be32(const QByteArray& bytes, qint64 at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

quint32 be16(const QByteArray& bytes, qint64 at)
{
    return qFromBigEndian<quint16>(bytes.constData() + at);
}

struct Box {
    QByteArray type;
    qint64 body; // offset of the payload
    qint64 end;  // offset just past the box
};

// The box starting at `at` inside bytes[..limit); none when it does not fit.
std::optional<Box> boxAt(const QByteArray& bytes, qint64 at, qint64 limit)
{
    if (at + 8 > limit)
        return std::nullopt;
    qint64 size = be32(bytes, at);
    qint64 header = 8;
    if (size == 1) {
        if (at + 16 > limit)
            return std::nullopt;
        size = (qint64(be32(bytes, at + 8)) << 32) | be32(bytes, at + 12);
        header = 16;
    } else if (size == 0) {
        size = limit - at;
    }
    if (size < header || size > limit - at)
        return std::nullopt;
    return Box{bytes.mid(at + 4, 4), at + header, at + size};
}

std::optional<Box> child(const QByteArray& bytes, qint64 from, qint64 limit, const char* type)
{
    std::optional<Box> box = boxAt(bytes, from, limit);
    while (box && box->type != type)
        box = boxAt(bytes, box->end, limit);
    return box;
}

// The file's top-level 'meta' box, whole; `body` is set to where its children start (past the
// version and flags). Empty when there is none or it is implausibly large.
QByteArray metaBox(QIODevice& file, qint64& body)
{
    if (!file.isOpen())
        return {};
    for (qint64 at = 0; file.seek(at);) {
        const QByteArray header = file.read(16);
        if (header.size() < 8)
            return {};
        const qint64 rest = file.size() - at;
        qint64 size = be32(header, 0);
        const qint64 headerSize = size == 1 ? 16 : 8;
        if (size == 1)
            size = header.size() == 16 ? (qint64(be32(header, 8)) << 32) | be32(header, 12) : 0;
        else if (size == 0)
            size = rest;
        if (size < headerSize || size > rest)
            return {};
        if (header.mid(4, 4) == "meta") {
            if (size > maxMetaBytes || !file.seek(at))
                return {};
            const QByteArray meta = file.read(size);
            body = headerSize + 4;
            return meta.size() == size ? meta : QByteArray();
        }
        at += size;
    }
    return {};
}

std::optional<Step> stepOf(const QByteArray& bytes, const Box& property)
{
    if (property.end - property.body < 1)
        return std::nullopt;
    const int value = uchar(bytes[property.body]);
    if (property.type == "irot" && (value & 3) != 0)
        return Step{Step::Kind::rotate, value & 3, false};
    if (property.type == "imir")
        return Step{Step::Kind::mirror, 0, (value & 1) != 0};
    return std::nullopt;
}

} // namespace

std::map<std::uint32_t, Steps> read(QIODevice& file)
{
    qint64 body = 0;
    const QByteArray meta = metaBox(file, body);
    if (meta.isEmpty())
        return {};
    const qint64 end = meta.size();
    const std::optional<Box> iprp = child(meta, body, end, "iprp");
    if (!iprp)
        return {};
    const std::optional<Box> ipco = child(meta, iprp->body, iprp->end, "ipco");
    const std::optional<Box> ipma = child(meta, iprp->body, iprp->end, "ipma");
    if (!ipco || !ipma || ipma->end - ipma->body < 8)
        return {};

    std::vector<std::optional<Step>> properties; // 1-based in the file
    for (std::optional<Box> box = boxAt(meta, ipco->body, ipco->end); box;
         box = boxAt(meta, box->end, ipco->end))
        properties.push_back(stepOf(meta, *box));

    const int version = uchar(meta[ipma->body]);
    const bool wideIndex = (be32(meta, ipma->body) & 1) != 0;
    qint64 at = ipma->body + 4;
    const quint32 entries = be32(meta, at);
    at += 4;
    std::map<std::uint32_t, Steps> steps;
    for (quint32 e = 0; e < entries; ++e) {
        const int idBytes = version < 1 ? 2 : 4;
        if (at + idBytes + 1 > ipma->end)
            return {};
        const quint32 id = idBytes == 2 ? be16(meta, at) : be32(meta, at);
        at += idBytes;
        const int count = uchar(meta[at++]);
        Steps& item = steps[id];
        for (int a = 0; a < count; ++a) {
            const int indexBytes = wideIndex ? 2 : 1;
            if (at + indexBytes > ipma->end)
                return {};
            const quint32 index =
                wideIndex ? (be16(meta, at) & 0x7fff) : (quint32(uchar(meta[at])) & 0x7f);
            at += indexBytes;
            if (index >= 1 && index <= properties.size() && properties[index - 1])
                item.push_back(*properties[index - 1]);
        }
    }
    return steps;
}

bool swapsSides(const Steps& steps)
{
    int turns = 0;
    for (const Step& step : steps)
        turns += step.kind == Step::Kind::rotate ? step.quarterTurns : 0;
    return turns % 2 != 0;
}

QImage apply(QImage image, const Steps& steps)
{
    for (const Step& step : steps) {
        if (step.kind == Step::Kind::rotate)
            image = image.transformed(QTransform().rotate(-90.0 * step.quarterTurns));
        else
            image = image.mirrored(step.leftRight, !step.leftRight);
    }
    return image;
}

} // namespace HeifTransforms
