#include "FileNames.h"

#include "EngineError.h"

#include <QFile>
#include <QUuid>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

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
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
#ifdef SYS_renameat2
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD,
                                    to.constData(), 1u /* RENAME_NOREPLACE */));
#else
    errno = ENOSYS;
    return -1;
#endif
}

[[noreturn]] void throwMoveError(const QString& from, const QString& to, int error)
{
    if (error == EEXIST)
        throw PlatformError(
            QStringLiteral("Couldn't move %1 because an item named %2 already exists.")
                .arg(lastPathComponent(from), lastPathComponent(to)));
    throw PlatformError(QStringLiteral("Couldn't move %1 to %2: %3")
                            .arg(lastPathComponent(from), lastPathComponent(to),
                                 QString::fromLocal8Bit(std::strerror(error))));
}
} // namespace

void moveNoReplace(const QString& from, const QString& to)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (renameNoReplace(src, dst) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS)
        throwMoveError(from, to, errno);
    // File systems without renameat2 flags: link fails on an existing name, which is the point.
    if (::link(src.constData(), dst.constData()) != 0)
        throwMoveError(from, to, errno);
    ::unlink(src.constData());
}

} // namespace FileNames
