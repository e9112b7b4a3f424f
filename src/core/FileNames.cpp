#include "FileNames.h"

#include "EngineError.h"

#include <QFile>
#include <QUuid>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace FileNames {

QString lastPathComponent(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    return slash < 0 ? trimmed : trimmed.mid(slash + 1);
}

namespace {
// Index of the dot that starts the extension, or -1 when the name has none.
qsizetype extensionDot(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1)
        return -1;
    return dot;
}
} // namespace

QString pathExtension(const QString& path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString stem(const QString& path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? name : name.left(dot);
}

QString newUuidString()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

namespace {

std::atomic<bool> linklessFileSystem{false};

int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
#ifdef SYS_renameat2
    if (!linklessFileSystem)
        return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD,
                                        to.constData(), 1u /* RENAME_NOREPLACE */));
#endif
    errno = EINVAL;
    return -1;
}

int hardLink(const QByteArray& from, const QByteArray& to)
{
    if (!linklessFileSystem)
        return ::link(from.constData(), to.constData());
    errno = EPERM;
    return -1;
}

// Messages name the destination: the source is a hidden file the user never sees.
[[noreturn]] void throwMoveError(const QString& to, int error)
{
    if (error == EEXIST)
        throw PlatformError(
            QStringLiteral("Couldn't save %1 because an item with that name already exists.")
                .arg(lastPathComponent(to)));
    throw PlatformError(
        QStringLiteral("Couldn't save %1: %2")
            .arg(lastPathComponent(to), QString::fromLocal8Bit(std::strerror(error))));
}

bool writeAll(int fd, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// Copies every byte of `in` into `out`; false with errno set on the first failure.
bool copyBytes(int in, int out)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return ::fsync(out) == 0 || errno == EINVAL;
        if (!writeAll(out, buffer.data(), got))
            return false;
    }
}

// The last resort where neither renameat2 flags nor hard links exist (FUSE, network mounts):
// creating the name exclusively still never replaces anything.
void copyNoReplace(const QByteArray& from, const QByteArray& to, const QString& name)
{
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throwMoveError(name, errno);
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        throwMoveError(name, error);
    }
    bool copied = copyBytes(in, out);
    int error = errno;
    ::close(in);
    if (::close(out) != 0 && copied) {
        copied = false;
        error = errno;
    }
    if (!copied) {
        ::unlink(to.constData());
        throwMoveError(name, error == 0 ? EIO : error);
    }
    ::unlink(from.constData());
}

} // namespace

void moveNoReplace(const QString& from, const QString& to)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (renameNoReplace(src, dst) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        throwMoveError(to, errno);
    // File systems without renameat2 flags: link fails on an existing name, which is the point.
    if (hardLink(src, dst) == 0) {
        ::unlink(src.constData());
        return;
    }
    if (errno == EEXIST)
        throwMoveError(to, errno);
    copyNoReplace(src, dst, to);
}

void simulateLinklessFileSystem(bool on)
{
    linklessFileSystem = on;
}

} // namespace FileNames
