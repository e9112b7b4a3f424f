#pragma once

#include "core/Item.h"

#include <QImage>
#include <QProcessEnvironment>
#include <QString>
#include <functional>

namespace TestSupport {
// The shared 24x18 straight-alpha fixture: red 220 where x < 12, green 160 where y < 9, blue 70;
// alpha 0 for x <= 3, 128 for x 4…7, 255 beyond.
QImage alphaFixture();
// An opaque picture with smooth gradients and a few hard edges, for codec tests.
QImage opaqueFixture(int width, int height);
// Absolute path of a committed test file under tests/.
QString testFile(const QString& relative);
// Names in a folder, hidden ones included, sorted.
QStringList entries(const QString& folder);
// The alpha fixture saved as PNG under each name in `folder`; their paths, in order.
QStringList savedFixtures(const QString& folder, const QStringList& names);
} // namespace TestSupport

namespace TestSupport {
// A PNG that declares width x height in its header but holds only a token of pixel data.
QByteArray forgedPng(quint32 width, quint32 height);
// A PNG of unfiltered rows (`samples` holds height rows of equal length, as PNG stores them)
// with the given chunks placed between the header and the data.
QByteArray plainPng(quint32 width, quint32 height, int depth, int colourType,
                    const QByteArray& samples, const QByteArray& chunksBeforeData = {});
// One chunk: length, type, data and CRC.
QByteArray pngChunk(const char* type, const QByteArray& data);
void writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readBytes(const QString& path);
// A folder holding the nearest-neighbour test model under the given model's file name.
QString nearestModelFolder(const QString& parent, const QString& modelName);
} // namespace TestSupport

namespace TestSupport {
// While alive, writes past `bytes` in any file fail with EFBIG (as on a full disk or quota)
// instead of raising SIGXFSZ. Restores the previous limit and signal handling.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    qint64 m_previous[2];
    void (*m_handler)(int);
};
// A noisy picture that compresses badly in every format, so its files are large.
QImage noiseFixture(int width, int height, bool alpha);
} // namespace TestSupport

namespace TestSupport {
// A queued item with a fresh id, a made-up path and `status`.
Item queuedItem(Item::Status status);
} // namespace TestSupport

namespace TestSupport {
// FIFOs put where pictures were, as a hostile or synced folder might. Each stays linked in
// `spare` so that a reader stuck on one (in code that waits on FIFOs) can always be released:
// release(), also run by the destructor, closes the held writers and opens and closes every
// FIFO's writing end, which ends every wait with end of file.
class Fifos {
public:
    explicit Fifos(QString spare);
    ~Fifos();
    Fifos(const Fifos&) = delete;
    Fifos& operator=(const Fifos&) = delete;

    // Replaces whatever is at `path` with a new FIFO in one step. With a writer held open (one
    // that never writes), a plain open of it succeeds and the first read waits instead.
    void swapIn(const QString& path, bool withWriter = false);
    void release();
    // Releases again and again, handling events, while `stuck` holds and for at most `msecs`:
    // code that opens a FIFO by name waits again at every open.
    void releaseWhile(const std::function<bool()>& stuck, int msecs = 10000);

private:
    QString m_spare;
    QStringList m_made;
    QList<int> m_writers;
};
// Puts `target` at `path` in one step, as a hard link of it or, with `symbolic`, a link to it.
bool swapLink(const QString& target, const QString& path, bool symbolic);
} // namespace TestSupport

namespace TestSupport {
// Runs one test of this test binary in a process of its own, for what cannot be undone within a
// process (a mount namespace, the end of the work pools), with `variable` set to `value`.
struct ChildRun {
    bool finished = false;
    int exitCode = -1;
    QString output; // standard output and error together
    bool passed() const
    {
        return finished && exitCode == 0 && output.contains("[  PASSED  ] 1 test");
    }
};
ChildRun runAlone(const QString& test, const QString& variable, const QString& value = "1",
                  int timeoutMs = 300000);
} // namespace TestSupport
