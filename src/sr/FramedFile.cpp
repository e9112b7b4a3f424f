#include "FramedFile.h"

#include "core/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cstdint>
#include <cstring>

namespace sr {

namespace {

constexpr qint64 tagBytes = 8;
constexpr qint64 frameBytes = tagBytes + 2 * sizeof(std::uint64_t);

std::uint64_t checksum(const QByteArray& data)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const char c : data)
        hash = (hash ^ std::uint8_t(c)) * 1099511628211ull;
    return hash;
}

} // namespace

QString compiledFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tolvane/Compiled");
}

QByteArray readFramed(const QString& path, const char (&tag)[8], qint64 maxBytes)
{
    // Opened without blocking: a FIFO or device put here must not hold up a model load.
    const QByteArray bytes = RegularFile(path).readAll(frameBytes + maxBytes);
    if (bytes.size() < frameBytes)
        return {};
    std::uint64_t size = 0, sum = 0;
    std::memcpy(&size, bytes.constData() + tagBytes, sizeof(size));
    std::memcpy(&sum, bytes.constData() + tagBytes + sizeof(size), sizeof(sum));
    if (std::memcmp(bytes.constData(), tag, tagBytes) != 0 ||
        size != std::uint64_t(bytes.size() - frameBytes))
        return {};
    QByteArray data = bytes.mid(frameBytes);
    return checksum(data) == sum ? data : QByteArray();
}

bool writeFramed(const QString& path, const char (&tag)[8], const QByteArray& data, QString* error)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile out(path);
    const std::uint64_t length = std::uint64_t(data.size()), sum = checksum(data);
    if (out.open(QIODevice::WriteOnly) && out.write(tag, tagBytes) == tagBytes &&
        out.write(reinterpret_cast<const char*>(&length), sizeof(length)) == sizeof(length) &&
        out.write(reinterpret_cast<const char*>(&sum), sizeof(sum)) == sizeof(sum) &&
        out.write(data) == data.size() && out.commit())
        return true;
    if (error)
        *error = out.errorString();
    return false;
}

} // namespace sr
