#include "store/AppState.h"

#include "core/WorkPools.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Translucent fills and strokes over a window-sized picture: Qt's raster engine splits such
// spans into jobs on QThreadPool::globalInstance() and waits for them.
void paintLikeTheWindow()
{
    QImage canvas(2400, 1600, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.fillRect(canvas.rect(), QColor(40, 60, 80, 120));
    painter.setPen(QPen(QColor(255, 255, 255, 90), 3));
    for (int y = 0; y < canvas.height(); y += 8)
        painter.drawLine(0, y, canvas.width() - 1, canvas.height() - 1 - y);
}

// True when the paint waits for the global pool, found by filling that pool with held jobs.
// A Qt that paints elsewhere makes the test below prove nothing.
bool paintWaitsForTheGlobalPool()
{
    QThreadPool* global = QThreadPool::globalInstance();
    QSemaphore gate;
    QSemaphore holding;
    const int threads = global->maxThreadCount();
    for (int i = 0; i < threads; ++i)
        global->start([&] {
            holding.release();
            gate.acquire();
        });
    const bool held = holding.tryAcquire(threads, 10000);
    std::unique_ptr<QThread> painter(QThread::create(paintLikeTheWindow));
    painter->start();
    const bool waited = held && !painter->wait(1000);
    gate.release(threads);
    painter->wait();
    global->waitForDone();
    return waited;
}

// Many names of one slow picture: each costs a full decode, the folder almost nothing.
QString folderOfSlowPictures(const QTemporaryDir& dir, int count)
{
    const QString slow = dir.filePath("slow.png");
    EXPECT_TRUE(TestSupport::opaqueFixture(2000, 2000).save(slow, "png"));
    const QString folder = dir.filePath("slow");
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(::link(QFile::encodeName(slow).constData(),
                         QFile::encodeName(folder + QStringLiteral("/%1.png").arg(i)).constData()),
                  0);
    return folder;
}

} // namespace

// The window stays painted while a large folder is imported.
TEST(PaintDuringImportTest, PaintingNeverWaitsForAnImport)
{
    if (!paintWaitsForTheGlobalPool())
        GTEST_SKIP() << "this Qt does not paint through the global thread pool";
    QTemporaryDir dir;
    // Enough work to keep every core busy for many seconds.
    const QString folder = folderOfSlowPictures(dir, 100 * QThread::idealThreadCount());
    AppState state(std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat));
    state.add({folder});

    qint64 slowest = 0;
    for (int i = 0; i < 4; ++i) {
        QTest::qWait(100);
        QElapsedTimer timer;
        timer.start();
        paintLikeTheWindow();
        slowest = std::max(slowest, timer.elapsed());
    }
    EXPECT_TRUE(state.isImporting()) << "the paints are meant to overlap the import";
    // Whatever is not read yet is gone, so the import ends soon.
    QDir(folder).removeRecursively();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !state.isImporting(); }, 120000));
    EXPECT_LT(slowest, 5000) << "a paint waited for the import";
}

// Not a test of its own: the process QuittingSkipsAnImportsRemainingFiles starts, because the
// pools' ending cannot be undone within a process.
TEST(QuitDuringImport, Child)
{
    if (qEnvironmentVariableIsEmpty("TOLVANE_TEST_QUIT_DURING_IMPORT"))
        GTEST_SKIP()
            << "started only by PaintDuringImportTest.QuittingSkipsAnImportsRemainingFiles";
    QTemporaryDir dir;
    const int count = 100 * QThread::idealThreadCount();
    const QString folder = folderOfSlowPictures(dir, count);
    AppState state(std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat));
    state.add({folder});
    QTest::qWait(300);
    ASSERT_TRUE(state.isImporting());
    // What the application object's destruction does.
    WorkPools::finish();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !state.isImporting(); }, 10000));
    EXPECT_LT(state.items().size(), count / 2) << "the import read on after the quit";
}

// Quitting during a large import ends the process without reading the rest of the folder.
TEST(PaintDuringImportTest, QuittingSkipsAnImportsRemainingFiles)
{
    const auto run =
        TestSupport::runAlone("QuitDuringImport.Child", "TOLVANE_TEST_QUIT_DURING_IMPORT");
    EXPECT_TRUE(run.passed()) << run.output.toStdString();
}
