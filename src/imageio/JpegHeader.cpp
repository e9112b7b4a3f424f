#include "JpegHeader.h"

#include <QtEndian>
#include <algorithm>
#include <vector>

namespace JpegHeader {

namespace {

struct Component {
    int horizontal = 1;
    int vertical = 1;
};

struct Frame {
    qint64 width = 0;
    qint64 height = 0;
    bool progressive = false;
    std::vector<Component> components;
};

bool isFrameMarker(int marker)
{
    return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

bool hasNoLength(int marker)
{
    return marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7);
}

std::optional<Frame> frameOf(int marker, const QByteArray& body)
{
    if (body.size() < 6)
        return std::nullopt;
    Frame frame;
    frame.height = qFromBigEndian<quint16>(body.constData() + 1);
    frame.width = qFromBigEndian<quint16>(body.constData() + 3);
    frame.progressive = marker == 0xc2 || marker == 0xc6 || marker == 0xca || marker == 0xce;
    const int count = quint8(body[5]);
    if (count < 1 || body.size() < 6 + 3 * count)
        return std::nullopt;
    for (int i = 0; i < count; ++i) {
        const quint8 sampling = quint8(body[6 + 3 * i + 1]);
        frame.components.push_back({std::max(1, sampling >> 4), std::max(1, sampling & 15)});
    }
    return frame;
}

qint64 roundUp(qint64 value, qint64 step)
{
    return (value + step - 1) / step * step;
}

// libjpeg's whole-image arrays: each component's blocks, padded to whole sampling units,
// 64 coefficients of 2 bytes per block.
qint64 coefficientBytes(const Frame& frame)
{
    int maxH = 1;
    int maxV = 1;
    for (const Component& c : frame.components) {
        maxH = std::max(maxH, c.horizontal);
        maxV = std::max(maxV, c.vertical);
    }
    qint64 total = 0;
    for (const Component& c : frame.components) {
        const qint64 across = (frame.width * c.horizontal + 8 * maxH - 1) / (8 * maxH);
        const qint64 down = (frame.height * c.vertical + 8 * maxV - 1) / (8 * maxV);
        total += roundUp(across, c.horizontal) * roundUp(down, c.vertical) * 128;
    }
    return total;
}

} // namespace

std::optional<qint64> wholeImageBytes(QIODevice& file)
{
    if (!file.isOpen() || !file.seek(0) || file.read(2) != "\xff\xd8")
        return std::nullopt;
    std::optional<Frame> frame;
    for (int markers = 0; markers < 1024; ++markers) {
        char byte = 0;
        if (!file.getChar(&byte) || quint8(byte) != 0xff)
            return std::nullopt;
        while (file.getChar(&byte) && quint8(byte) == 0xff) {
        }
        const int marker = quint8(byte);
        if (hasNoLength(marker))
            continue;
        const QByteArray length = file.read(2);
        if (length.size() < 2 || qFromBigEndian<quint16>(length.constData()) < 2)
            return std::nullopt;
        const QByteArray body = file.read(qFromBigEndian<quint16>(length.constData()) - 2);
        if (isFrameMarker(marker))
            frame = frameOf(marker, body);
        if (marker != 0xda)
            continue;
        if (!frame || body.isEmpty())
            return std::nullopt;
        const bool oneScan = !frame->progressive && quint8(body[0]) >= frame->components.size();
        return oneScan ? 0 : coefficientBytes(*frame);
    }
    return std::nullopt;
}

} // namespace JpegHeader
