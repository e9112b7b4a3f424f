#include "UiSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QTextDocumentFragment>
#include <QThread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UiSupport {

Item item(const QString& name, QSize size, Item::Status status, const QString& output,
          std::optional<QSize> outputSize)
{
    Item made;
    made.id = QUuid::createUuid();
    made.path = QStringLiteral("/photos/") + name;
    made.pixelSize = size;
    made.status = std::move(status);
    made.outputPath = output;
    made.outputPixelSize = outputSize;
    return made;
}

QImage thumbnail(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QString toolTipShows(const QString& tip)
{
    return Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText() : tip;
}

StoreFixture::StoreFixture()
    : m_state(std::make_unique<AppState>(
          std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat)))
{
    m_state->setOpenPanel([calls = m_panelCalls] {
        ++*calls;
        return QStringList();
    });
}

StoreFixture::~StoreFixture()
{
    releaseBatch();
    if (m_state->isImporting())
        finishImport();
    m_state->stopAndWait(10000);
}

bool StoreFixture::importImages(const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names) {
        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(QColor(40, 120, 200));
        image.save(path(name), "png");
        paths << path(name);
    }
    QSignalSpy finished(m_state.get(), &AppState::importFinished);
    m_state->add(paths);
    return finished.wait(10000);
}

bool StoreFixture::startHeldBatch()
{
    m_state->setPipelineRun([released = m_released](const QString& path, const JobSettings&,
                                                    const CancelToken& token,
                                                    const Pipeline::Progress& progress) {
        progress(0.4);
        while (!*released && !token.isCancelled())
            QThread::msleep(2);
        return path + QStringLiteral(".out.png");
    });
    m_state->start();
    return m_state->isRunning();
}

bool StoreFixture::beginHeldImport()
{
    const QString pipe = path(QStringLiteral("held.png"));
    if (::mkfifo(QFile::encodeName(pipe).constData(), 0600) != 0)
        return false;
    m_state->add({pipe});
    return m_state->isImporting();
}

// Each open of the pipe by the import's reader waits for a writer; an empty write ends each read,
// so the pipe is no image and the import finishes with nothing found.
bool StoreFixture::finishImport()
{
    const QByteArray pipe = QFile::encodeName(path(QStringLiteral("held.png")));
    return QTest::qWaitFor(
        [&] {
            const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            return !m_state->isImporting();
        },
        10000);
}

} // namespace UiSupport
