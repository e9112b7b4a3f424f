#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <memory>

// A file opened once, without blocking on a FIFO or a device, and kept only when it is a regular
// file. Everything is read through this descriptor and never by name again, so whatever is put
// at the path after the check is never opened. Move-only; the destructor closes the descriptor.
class RegularFile {
public:
    enum class Links { followed, refused };

    RegularFile() = default;
    // Not open when the path is missing, unreadable or anything but a regular file (with
    // Links::refused, also when the path itself is a symbolic link).
    explicit RegularFile(const QString& path, Links links = Links::followed);
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // The name it was opened by, for messages; never opened again.
    const QString& path() const { return m_path; }
    qint64 size() const;

    // A read-only device over the whole file with a position of its own, so several readers may
    // use the descriptor at once. Not open when this file is not; must not outlive it.
    std::unique_ptr<QIODevice> device() const;
    // The whole file; empty when it cannot be read or holds more than `maxBytes`.
    QByteArray readAll(qint64 maxBytes) const;

    // Hands the descriptor over to the caller, who closes it; this object is left closed.
    int release();

private:
    void close();

    int m_fd = -1;
    QString m_path;
};
