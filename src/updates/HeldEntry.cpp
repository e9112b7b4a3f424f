#include "HeldEntry.h"

#include "core/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int openFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool isFileOrFolder(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode));
}

enum class Locking { required, whereSupported };

// Locked by this descriptor and still linked: a clean-up that got there first has removed it.
// Where the file system has no advisory locks, clean-ups can claim nothing, so an entry of our
// own counts as held without one.
bool lockStillLinked(int fd, Locking locking)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 &&
        (locking == Locking::required || errno == EWOULDBLOCK))
        return false;
    struct stat status {};
    return ::fstat(fd, &status) == 0 && status.st_nlink > 0;
}

// The name in /proc that leads to what `fd` holds, whatever its path now is.
QByteArray procName(int fd)
{
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
}

// Lets the owner list and empty a folder of the updater's own that a release shipped, or a user
// made, read-only: without it, the leftover stays for ever. Only the folder held, never a link's
// target: the descriptor is the folder.
void makeEmptiable(int folder)
{
    struct stat status {};
    if (::fstat(folder, &status) != 0 || !S_ISDIR(status.st_mode) ||
        (status.st_mode & S_IRWXU) == S_IRWXU || status.st_uid != ::geteuid())
        return;
    // fchmod() refuses an O_PATH descriptor; its /proc name leads to the same folder.
    ::chmod(procName(folder).constData(), (status.st_mode & 07777) | S_IRWXU);
}

// The folder `name` in `parent`, open for listing, never through a link, made emptiable first.
int openInner(int parent, const char* name)
{
    const int path = ::openat(parent, name, O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC);
    if (path < 0)
        return -1;
    makeEmptiable(path);
    // The /proc name is a link by nature; it leads to the folder already held.
    const int inner = ::open(procName(path).constData(), (openFlags & ~O_NOFOLLOW) | O_DIRECTORY);
    ::close(path);
    return inner;
}

// Empties the folder open at `folder`, never following a link.
void removeContents(int folder)
{
    makeEmptiable(folder);
    DIR* listing = ::fdopendir(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (!listing)
        return;
    ::rewinddir(listing);
    while (const dirent* entry = ::readdir(listing)) {
        const char* name = entry->d_name;
        if (qstrcmp(name, ".") == 0 || qstrcmp(name, "..") == 0)
            continue;
        struct stat status {};
        if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            const int inner = openInner(folder, name);
            if (inner >= 0) {
                removeContents(inner);
                ::close(inner);
            }
            ::unlinkat(folder, name, AT_REMOVEDIR);
        } else {
            ::unlinkat(folder, name, 0);
        }
    }
    ::closedir(listing);
}

} // namespace

HeldEntry::~HeldEntry()
{
    close();
}

HeldEntry::HeldEntry(HeldEntry&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

HeldEntry& HeldEntry::operator=(HeldEntry&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

void HeldEntry::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

HeldEntry HeldEntry::createFile(const QString& path)
{
    const int fd =
        ::open(encoded(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    HeldEntry entry(fd, path);
    if (entry.isValid() && !lockStillLinked(fd, Locking::whereSupported))
        entry.close();
    return entry;
}

HeldEntry HeldEntry::createFolder(const QString& path)
{
    if (::mkdir(encoded(path).constData(), 0777) != 0)
        return {};
    HeldEntry entry(::open(encoded(path).constData(), openFlags | O_DIRECTORY), path);
    if (entry.isValid() && !lockStillLinked(entry.m_fd, Locking::whereSupported))
        entry.close();
    return entry;
}

HeldEntry HeldEntry::open(const QString& path, bool lockRequired)
{
    HeldEntry entry(::open(encoded(path).constData(), openFlags), path);
    if (entry.isValid() &&
        (!isFileOrFolder(entry.m_fd) ||
         !lockStillLinked(entry.m_fd, lockRequired ? Locking::required : Locking::whereSupported)))
        entry.close();
    return entry;
}

HeldEntry HeldEntry::claim(const QString& path)
{
    return open(path, true);
}

HeldEntry HeldEntry::hold(const QString& path)
{
    return open(path, false);
}

HeldEntry HeldEntry::openFile(const QString& path)
{
    return HeldEntry(RegularFile(path, RegularFile::Links::refused).release(), path);
}

QString HeldEntry::descriptorPath() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

bool HeldEntry::isAtPath() const
{
    struct stat held {};
    struct stat named {};
    return isValid() && ::fstat(m_fd, &held) == 0 &&
           ::lstat(encoded(m_path).constData(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

void HeldEntry::discard()
{
    struct stat status {};
    if (isAtPath() && ::fstat(m_fd, &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            removeContents(m_fd);
            ::rmdir(encoded(m_path).constData());
        } else {
            ::unlink(encoded(m_path).constData());
        }
    }
    close();
}
