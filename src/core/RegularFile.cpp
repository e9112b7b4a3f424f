#include "RegularFile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Reads at its own position with pread(), so it never moves the descriptor's shared offset.
// Unbuffered: readers such as Qt's image plugins peek and seek a lot, and each read here is
// exactly one system call at the position asked for.
class DescriptorDevice : public QIODevice {
public:
    explicit DescriptorDevice(int fd) : m_fd(fd)
    {
        if (fd >= 0)
            open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override
    {
        struct stat status {};
        return ::fstat(m_fd, &status) == 0 ? qint64(status.st_size) : 0;
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        for (;;) {
            const ssize_t got = ::pread(m_fd, data, size_t(maxSize), off_t(pos()));
            if (got >= 0)
                return got;
            if (errno != EINTR)
                return -1;
        }
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    int m_fd;
};

} // namespace

RegularFile::RegularFile(const QString& path, Links links) : m_path(path)
{
    const int flags =
        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == Links::refused ? O_NOFOLLOW : 0);
    m_fd = ::open(QFile::encodeName(path).constData(), flags);
    struct stat status {};
    if (m_fd >= 0 && (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)))
        close();
    // Regular files never block; later readers expect ordinary blocking reads.
    if (m_fd >= 0)
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
}

RegularFile::~RegularFile()
{
    close();
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

void RegularFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int RegularFile::release()
{
    return std::exchange(m_fd, -1);
}

qint64 RegularFile::size() const
{
    struct stat status {};
    return isOpen() && ::fstat(m_fd, &status) == 0 ? qint64(status.st_size) : 0;
}

std::unique_ptr<QIODevice> RegularFile::device() const
{
    return std::make_unique<DescriptorDevice>(m_fd);
}

QByteArray RegularFile::readAll(qint64 maxBytes) const
{
    const qint64 expected = size();
    if (!isOpen() || expected > maxBytes)
        return {};
    // One byte more than expected shows a file that grew since it was measured.
    QByteArray bytes(expected + 1, Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(m_fd, bytes.data() + got, size_t(bytes.size() - got), off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};
        if (n == 0)
            break;
        got += n;
    }
    if (got > expected)
        return {};
    bytes.truncate(got);
    return bytes;
}
