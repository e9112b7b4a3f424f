#include "imageio/ImageLoader.h"
#include "store/AppState.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QString noImages = QStringLiteral(
    "No readable images were found. Try PNG, JPEG, WebP, HEIC, TIFF, GIF, BMP, or AVIF.");

class ImportTest : public ::testing::Test {
protected:
    ImportTest()
        : m_state(std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat))
    {
    }

    QString image(const QString& relative)
    {
        const QString path = m_dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(TestSupport::opaqueFixture(20, 10).save(path, "png"));
        return path;
    }
    void addAndWait(const QStringList& paths)
    {
        QSignalSpy finished(&m_state, &AppState::importFinished);
        m_state.add(paths);
        ASSERT_TRUE(finished.wait(10000));
    }
    QStringList queuedNames() const
    {
        QStringList names;
        for (const Item& item : m_state.items())
            names << QDir(m_dir.path()).relativeFilePath(item.path);
        return names;
    }

    QTemporaryDir m_dir;
    AppState m_state;
};

} // namespace

TEST_F(ImportTest, WalksFoldersSortedSkippingHiddenEntries)
{
    image("shots/b.png");
    image("shots/a.JPG");
    image("shots/.secret.png");
    image("shots/.cache/c.png");
    image("shots/deeper/d.tif");
    TestSupport::writeBytes(m_dir.filePath("shots/notes.txt"), "text");
    const QString hidden = m_dir.filePath("shots/.secret.png");
    addAndWait({m_dir.filePath("shots"), m_dir.filePath("shots/b.png"), hidden});
    EXPECT_EQ(queuedNames(), (QStringList{"shots/a.JPG", "shots/b.png", "shots/deeper/d.tif",
                                          "shots/.secret.png"}));
    const Item& first = m_state.items().first();
    EXPECT_EQ(first.pixelSize, QSize(20, 10));
    EXPECT_EQ(first.thumbnail.size(), QSize(20, 10));
    EXPECT_TRUE(first.status.is(Item::Status::Kind::pending));
    EXPECT_EQ(m_state.selection(), first.id);
    EXPECT_FALSE(m_state.notice());
    EXPECT_FALSE(m_state.isImporting());
}

TEST_F(ImportTest, DuplicatesAndUnreadableFiles)
{
    const QString a = image("a.png");
    TestSupport::writeBytes(m_dir.filePath("fake.png"), "not an image");
    addAndWait({a, m_dir.path() + "/./a.png", m_dir.filePath("fake.png")});
    EXPECT_EQ(queuedNames(), QStringList{"a.png"});

    // Already queued: nothing added, no notice, but the summary of the last run goes.
    m_state.setScale(ScaleFactor::x1);
    m_state.setOutputFolder(m_dir.filePath("out"));
    QDir().mkpath(m_dir.filePath("out"));
    QSignalSpy ran(&m_state, &AppState::batchFinished);
    m_state.start();
    ASSERT_TRUE(ran.wait(10000));
    ASSERT_TRUE(m_state.lastRunSummary());
    addAndWait({a});
    EXPECT_EQ(m_state.items().size(), 1);
    EXPECT_FALSE(m_state.notice());
    EXPECT_FALSE(m_state.lastRunSummary());

    // A second item keeps the first selection.
    const QUuid selected = *m_state.selection();
    addAndWait({image("b.png")});
    EXPECT_EQ(m_state.selection(), selected);
}

TEST_F(ImportTest, NothingReadableSetsTheNotice)
{
    TestSupport::writeBytes(m_dir.filePath("only.png"), "not an image");
    for (const QStringList& paths : {QStringList{}, QStringList{m_dir.filePath("missing")},
                                     QStringList{m_dir.filePath("only.png")}}) {
        m_state.setNotice(std::nullopt);
        addAndWait(paths);
        EXPECT_EQ(m_state.notice(), noImages);
    }
    EXPECT_TRUE(m_state.items().isEmpty());
    EXPECT_FALSE(m_state.selection());
}

TEST_F(ImportTest, RefusedWhileImporting)
{
    addAndWait({image("first.png")});
    QSignalSpy finished(&m_state, &AppState::importFinished);
    m_state.add({image("a.png")});
    EXPECT_TRUE(m_state.isImporting());
    m_state.add({image("b.png")});
    m_state.clearAll();
    EXPECT_EQ(m_state.items().size(), 1) << "the queue cannot be cleared during an import";
    ASSERT_TRUE(finished.wait(10000));
    QTest::qWait(50);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(queuedNames(), (QStringList{"first.png", "a.png"}));

    m_state.setOpenPanel([this] { return QStringList{m_dir.filePath("b.png")}; });
    m_state.openPanel();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(queuedNames(), (QStringList{"first.png", "a.png", "b.png"}));
}

// Given directly or met in a folder, even through a link with an image's name, a FIFO never
// holds up an import; a link to a real picture counts as that picture.
TEST_F(ImportTest, SpecialFilesNeverHoldUpAnImport)
{
    const QString fifo = m_dir.filePath("pipe.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString a = image("a.png");
    image("shots/b.png");
    ASSERT_TRUE(QFile::link(fifo, m_dir.filePath("shots/linked-pipe.png")));
    ASSERT_TRUE(QFile::link(a, m_dir.filePath("shots/linked-a.png")));
    QSignalSpy finished(&m_state, &AppState::importFinished);
    m_state.add({fifo, a, m_dir.filePath("shots")});
    const bool done = finished.wait(5000);
    if (!done) {
        // Release a reader stuck on the FIFO so the suite can end.
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        finished.wait(5000);
    }
    EXPECT_TRUE(done) << "the import must not wait on a FIFO";
    EXPECT_EQ(queuedNames(), (QStringList{"a.png", "shots/b.png", "shots/linked-a.png"}));
    EXPECT_EQ(m_state.items().last().pixelSize, QSize(20, 10));
    EXPECT_FALSE(m_state.isImporting());
}

// The detail views start a preview per view; previews of a FIFO must neither wait nor keep the
// threads an import needs.
TEST_F(ImportTest, PreviewsOfAFifoLeaveImportsFree)
{
    const QString picture = image("a.png");
    TestSupport::Fifos fifos(m_dir.filePath("spare"));
    const QString fifo = m_dir.filePath("b.png");
    fifos.swapIn(fifo);
    QList<QFuture<QImage>> previews;
    for (int i = 0; i < std::max(8, QThread::idealThreadCount()); ++i)
        previews << ImageLoader::preview(fifo, 2048);
    QSignalSpy finished(&m_state, &AppState::importFinished);
    m_state.add({picture});
    const bool done = finished.wait(5000);
    fifos.releaseWhile([&] {
        return m_state.isImporting() ||
               std::any_of(previews.begin(), previews.end(),
                           [](const QFuture<QImage>& preview) { return !preview.isFinished(); });
    });
    EXPECT_TRUE(done) << "the import waited for the previews";
    ASSERT_FALSE(m_state.isImporting());
    for (QFuture<QImage>& preview : previews)
        EXPECT_TRUE(preview.result().isNull());
    EXPECT_EQ(queuedNames(), QStringList{"a.png"});
}

// The walk lists regular files only; what matters is what each one is when it is opened. A
// swapper keeps putting FIFOs (with and without a writer) and links to a device over listed
// pictures and the pictures back, for a bounded time, while imports run one after another.
TEST_F(ImportTest, PicturesSwappedForSpecialFilesNeverHoldUpAnImport)
{
    QStringList pictures;
    for (int i = 0; i < 12; ++i)
        pictures << image(QStringLiteral("shots/%1.png").arg(i));
    const QString originals = m_dir.filePath("originals");
    QDir().mkpath(originals);
    for (const QString& picture : std::as_const(pictures))
        ASSERT_TRUE(QFile::copy(picture, originals + u'/' + QFileInfo(picture).fileName()));

    TestSupport::Fifos fifos(m_dir.filePath("spare"));
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        for (int round = 0; !stop; ++round)
            for (const QString& picture : std::as_const(pictures)) {
                switch (round % 4) {
                case 0:
                    fifos.swapIn(picture, false);
                    break;
                case 1:
                    fifos.swapIn(picture, true);
                    break;
                case 2:
                    TestSupport::swapLink(QStringLiteral("/dev/zero"), picture, true);
                    break;
                default:
                    TestSupport::swapLink(originals + u'/' + QFileInfo(picture).fileName(), picture,
                                          false);
                }
            }
    });
    QSignalSpy finished(&m_state, &AppState::importFinished);
    int imports = 0;
    bool allFinished = true;
    for (QElapsedTimer running; imports < 2 || running.elapsed() < 1500; ++imports) {
        if (imports == 0)
            running.start();
        m_state.clearAll();
        m_state.add({m_dir.filePath("shots")});
        if (!finished.wait(10000)) {
            allFinished = false;
            break;
        }
    }
    stop = true;
    swapper.join();
    fifos.releaseWhile([this] { return m_state.isImporting(); });
    EXPECT_TRUE(allFinished) << "import " << imports << " waited on a special file";
    for (const Item& item : m_state.items())
        EXPECT_EQ(item.pixelSize, QSize(20, 10));
}

// Some containers and sandboxes mount no /proc; pictures are read through their descriptors, not
// through /proc/self/fd. Hiding /proc takes a mount namespace of its own, so this runs again in a
// child process that makes one: as root only.
TEST_F(ImportTest, FindsPicturesWithoutProc)
{
    if (qEnvironmentVariableIsSet("TOLVANE_TEST_WITHOUT_PROC")) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", "/proc", "tmpfs", 0, nullptr) != 0)
            GTEST_SKIP() << "no mount namespace: " << std::strerror(errno);
        EXPECT_FALSE(QFile::exists("/proc/self"));
        addAndWait({image("a.png"), image("shots/b.jpg")});
        // Back for whatever needs it at exit (the leak checker does).
        ::umount2("/proc", MNT_DETACH);
        EXPECT_EQ(queuedNames(), (QStringList{"a.png", "shots/b.jpg"}));
        EXPECT_FALSE(m_state.items().last().thumbnail.isNull());
        EXPECT_FALSE(m_state.notice());
        return;
    }
    if (::geteuid() != 0)
        GTEST_SKIP() << "hiding /proc needs root";
    const auto run = TestSupport::runAlone("ImportTest.FindsPicturesWithoutProc",
                                           "TOLVANE_TEST_WITHOUT_PROC", "1", 60000);
    if (run.output.contains("no mount namespace"))
        GTEST_SKIP() << run.output.toStdString();
    EXPECT_TRUE(run.passed()) << run.output.toStdString();
}
