#include "app/SingleInstance.h"
#include "app/HandOver.h"
#include "core/EngineError.h"
#include "store/AppState.h"

#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

// Launches of the real executable over a private session bus. These tests run only in their own
// CTest entry, under dbus-run-session, which sets TOLVANE_PRIVATE_BUS; anywhere else they could
// reach a running Tolvane on the desktop's bus.
namespace {

using Role = SingleInstance::Role;

bool onPrivateBus()
{
    return qEnvironmentVariableIsSet("TOLVANE_PRIVATE_BUS") &&
           QDBusConnection::sessionBus().isConnected();
}

class Launch {
public:
    explicit Launch(const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", m_home.path());
        environment.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        environment.insert("XDG_DATA_HOME", m_home.filePath("data"));
        m_process.setProcessEnvironment(environment);
        m_process.setWorkingDirectory(m_home.path());
        m_process.start(QStringLiteral(TOLVANE_BINARY), arguments);
        m_process.waitForStarted(10000);
        m_clock.start();
    }
    ~Launch()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Waits with the event loop running, so that an owner in this process can answer.
    bool endsWithin(int ms)
    {
        return QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, ms);
    }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    int exitCode() const { return m_process.exitCode(); }
    // Where a relative argument points, as the launch sees its working folder.
    QString path(const QString& name) const
    {
        return QDir(QFileInfo(m_home.path()).canonicalFilePath()).filePath(name);
    }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QElapsedTimer m_clock;
};

bool nameOwned()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        SingleInstance::serviceName);
}

} // namespace

TEST(SingleInstanceBus, ALaterLaunchHandsItsFilesToTheRunningOneAndEnds)
{
    if (!onPrivateBus())
        GTEST_SKIP() << "needs the private bus of its own test entry";
    SingleInstance running;
    QSignalSpy opened(&running, &SingleInstance::opened);
    ASSERT_EQ(running.claim({}), Role::primary);

    Launch second({"--foo", "photo one.png", "/pictures/été #2.png", "-x"});
    ASSERT_TRUE(second.endsWithin(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_LT(second.elapsedMs(), SingleInstance::handOverTimeoutMs) << "answered, not timed out";
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.at(0).at(0).toStringList(),
              (QStringList{second.path("photo one.png"), "/pictures/été #2.png"}));

    // Without files it only asks for the window.
    Launch plain({});
    ASSERT_TRUE(plain.endsWithin(20000));
    EXPECT_EQ(plain.exitCode(), 0);
    ASSERT_EQ(opened.count(), 2);
    EXPECT_TRUE(opened.at(1).at(0).toStringList().isEmpty());
}

TEST(SingleInstanceBus, TheFirstWindowOwnsTheNameUntilItEnds)
{
    if (!onPrivateBus())
        GTEST_SKIP() << "needs the private bus of its own test entry";
    auto first = std::make_unique<Launch>(QStringList{});
    ASSERT_TRUE(QTest::qWaitFor(nameOwned, 20000));
    Launch second({"photo.png"});
    ASSERT_TRUE(second.endsWithin(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_LT(second.elapsedMs(), SingleInstance::handOverTimeoutMs) << "answered, not timed out";
    EXPECT_FALSE(first->endsWithin(500)) << "the running window stays";
    first.reset();
    EXPECT_TRUE(QTest::qWaitFor([] { return !nameOwned(); }, 5000));
}

// Three launches at once while a batch runs: each ends only once the running window holds its
// file, and all three join the queue when the batch ends.
TEST(SingleInstanceBus, FilesHandedOverDuringABatchAllArrive)
{
    if (!onPrivateBus())
        GTEST_SKIP() << "needs the private bus of its own test entry";
    QTemporaryDir dir;
    AppState state(std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat));
    const QStringList files =
        TestSupport::savedFixtures(dir.path(), {"queued.png", "one.png", "two.png", "three.png"});
    QSignalSpy imported(&state, &AppState::importFinished);
    state.add({files[0]});
    ASSERT_TRUE(imported.wait(10000));
    std::atomic<bool> release = false;
    state.setPipelineRun([&](const QString&, const JobSettings&, const CancelToken&,
                             const Pipeline::Progress&) -> QString {
        while (!release)
            QThread::msleep(5);
        throw UpscaleError::cancelled();
    });
    state.start();
    ASSERT_TRUE(state.isRunning());

    SingleInstance running;
    HandOver handOver(state);
    QObject::connect(&running, &SingleInstance::opened, &handOver, &HandOver::open);
    ASSERT_EQ(running.claim({}), Role::primary);
    std::vector<std::unique_ptr<Launch>> launches;
    for (int i = 1; i <= 3; ++i)
        launches.push_back(std::make_unique<Launch>(QStringList{files[i]}));
    for (const auto& launch : launches) {
        ASSERT_TRUE(launch->endsWithin(20000));
        EXPECT_EQ(launch->exitCode(), 0);
    }
    QStringList held = handOver.waiting();
    held.sort();
    QStringList expected = files.mid(1);
    expected.sort();
    EXPECT_EQ(held, expected) << "held by the time each launch ended";
    EXPECT_EQ(state.items().size(), 1) << "the queue does not change during a batch";

    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.items().size() == 4; }, 10000));
    EXPECT_TRUE(handOver.waiting().isEmpty());
}

TEST(SingleInstanceBus, AnOwnerThatDoesNotAnswerLeavesTheLaunchOnItsOwn)
{
    if (!onPrivateBus())
        GTEST_SKIP() << "needs the private bus of its own test entry";
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerService(SingleInstance::serviceName));
    Launch launch({"photo.png"});
    EXPECT_FALSE(launch.endsWithin(3000)) << "its own window stays up";
    bus.unregisterService(SingleInstance::serviceName);
}
