#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TestSupport {

QImage alphaFixture()
{
    QImage image(24, 18, QImage::Format_RGBA8888);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = x <= 3 ? 0 : (x <= 7 ? 128 : 255);
            image.setPixelColor(x, y, QColor(x < 12 ? 220 : 0, y < 9 ? 160 : 0, 70, alpha));
        }
    return image;
}

QImage opaqueFixture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGBX8888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y,
                                QColor(x * 255 / std::max(1, width - 1),
                                       y * 255 / std::max(1, height - 1),
                                       (x / 8 + y / 8) % 2 ? 200 : 40));
    return image;
}

QString testFile(const QString& relative)
{
    return QStringLiteral(TOLVANE_TESTS_DIR "/") + relative;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList savedFixtures(const QString& folder, const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names) {
        paths << QDir(folder).filePath(name);
        alphaFixture().save(paths.last(), "png");
    }
    return paths;
}

} // namespace TestSupport

namespace TestSupport {

namespace {
quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xffffffffu;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value)
{
    return QByteArray(1, char(value >> 24)) + char(value >> 16) + char(value >> 8) + char(value);
}

QByteArray chunk(const char* type, const QByteArray& data)
{
    const QByteArray body = QByteArray(type) + data;
    return bigEndian(quint32(data.size())) + body + bigEndian(crc32(body));
}
} // namespace

QByteArray forgedPng(quint32 width, quint32 height)
{
    const QByteArray header =
        bigEndian(width) + bigEndian(height) + QByteArray::fromHex("0806000000");
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
           chunk("IDAT", QByteArray::fromHex("789c63601805a360140c77000003e80001")) +
           chunk("IEND", {});
}

QByteArray plainPng(quint32 width, quint32 height, int depth, int colourType,
                    const QByteArray& samples, const QByteArray& chunksBeforeData)
{
    const QByteArray header =
        bigEndian(width) + bigEndian(height) + char(depth) + char(colourType) + QByteArray(3, '\0');
    const qsizetype rowBytes = samples.size() / qsizetype(height);
    QByteArray filtered;
    for (quint32 y = 0; y < height; ++y)
        filtered += '\0' + samples.mid(qsizetype(y) * rowBytes, rowBytes);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunksBeforeData +
           chunk("IDAT", qCompress(filtered).mid(4)) + chunk("IEND", {});
}

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    return chunk(type, data);
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString nearestModelFolder(const QString& parent, const QString& modelName)
{
    const QString folder = parent + QStringLiteral("/Models");
    QDir().mkpath(folder);
    QFile::copy(testFile(QStringLiteral("data/models/NearestX4.onnx")),
                folder + u'/' + modelName + ".onnx");
    return folder;
}

} // namespace TestSupport

namespace TestSupport {

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_previous[0] = qint64(limit.rlim_cur);
    m_previous[1] = qint64(limit.rlim_max);
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    const rlimit limit{rlim_t(m_previous[0]), rlim_t(m_previous[1])};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_handler);
}

QImage noiseFixture(int width, int height, bool alpha)
{
    QImage image(width, height, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random.generate() | (alpha ? 0u : 0xff000000u);
    }
    return image;
}

} // namespace TestSupport

namespace TestSupport {

Item queuedItem(Item::Status status)
{
    Item item;
    item.id = QUuid::createUuid();
    item.path = "/x/" + item.id.toString(QUuid::WithoutBraces) + ".png";
    item.status = std::move(status);
    return item;
}

} // namespace TestSupport

namespace TestSupport {

Fifos::Fifos(QString spare) : m_spare(std::move(spare))
{
    QDir().mkpath(m_spare);
}

Fifos::~Fifos()
{
    release();
}

bool swapLink(const QString& target, const QString& path, bool symbolic)
{
    const QByteArray from = QFile::encodeName(target);
    const QByteArray staged = QFile::encodeName(path + QStringLiteral(".swap"));
    ::unlink(staged.constData());
    const int made = symbolic ? ::symlink(from.constData(), staged.constData())
                              : ::link(from.constData(), staged.constData());
    return made == 0 && ::rename(staged.constData(), QFile::encodeName(path).constData()) == 0;
}

void Fifos::swapIn(const QString& path, bool withWriter)
{
    const QString fifo = m_spare + QStringLiteral("/fifo-%1").arg(m_made.size());
    if (::mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
        return;
    m_made << fifo;
    if (withWriter)
        m_writers << ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_CLOEXEC);
    swapLink(fifo, path, false);
}

void Fifos::release()
{
    for (const int writer : std::as_const(m_writers))
        if (writer >= 0)
            ::close(writer);
    m_writers.clear();
    for (const QString& fifo : std::as_const(m_made)) {
        const int end = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (end >= 0)
            ::close(end);
    }
}

void Fifos::releaseWhile(const std::function<bool()>& stuck, int msecs)
{
    static_cast<void>(QTest::qWaitFor(
        [&] {
            release();
            return !stuck();
        },
        msecs));
}

} // namespace TestSupport

namespace TestSupport {
ChildRun runAlone(const QString& test, const QString& variable, const QString& value, int timeoutMs)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(variable, value);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + test});
    ChildRun run;
    run.finished = child.waitForFinished(timeoutMs);
    if (!run.finished)
        child.kill();
    child.waitForFinished();
    run.exitCode = child.exitCode();
    run.output = QString::fromLocal8Bit(child.readAll());
    return run;
}
} // namespace TestSupport
