#pragma once

#include <QString>

// A file or folder the updater holds by an open descriptor. What it reads, writes or removes is
// reached through that descriptor, so whatever is put at the path meanwhile is never touched.
// Entries the updater makes or claims also carry an advisory lock (flock) for as long as this
// object lives: it tells the clean-up of any Tolvane that the entry is in use. A crash or kill
// releases the lock with the process. Move-only; the destructor closes the descriptor and leaves
// the entry where it is.
class HeldEntry {
public:
    HeldEntry() = default;
    ~HeldEntry();
    HeldEntry(HeldEntry&& other) noexcept;
    HeldEntry& operator=(HeldEntry&& other) noexcept;
    HeldEntry(const HeldEntry&) = delete;
    HeldEntry& operator=(const HeldEntry&) = delete;

    // A new private file (0600), or a folder (as the umask allows: it may become the
    // installation), at `path`, which must not exist, open and locked; invalid when it cannot be
    // made or was taken away before it was locked.
    static HeldEntry createFile(const QString& path);
    static HeldEntry createFolder(const QString& path);
    // An existing regular file or folder that no one else holds, locked; a link at the path is
    // not followed. Invalid otherwise, also where the file system has no advisory locks.
    static HeldEntry claim(const QString& path);
    // claim(), but where the file system has no advisory locks the entry is held unlocked.
    static HeldEntry hold(const QString& path);
    // An existing regular file, opened for reading without blocking on special files and
    // without following a link at its path, and not locked; invalid when it is anything else.
    static HeldEntry openFile(const QString& path);

    bool isValid() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    QString path() const { return m_path; }
    // The held entry was renamed to `path`.
    void setPath(const QString& path) { m_path = path; }
    // Opening this path opens the held entry again, wherever its name now leads.
    QString descriptorPath() const;
    // Whether path() still leads to the held entry.
    bool isAtPath() const;
    // Removes the entry (a folder with everything in it) when its path still leads to it, then
    // closes it.
    void discard();

private:
    HeldEntry(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}
    static HeldEntry open(const QString& path, bool lockRequired);
    void close();

    int m_fd = -1;
    QString m_path;
};
