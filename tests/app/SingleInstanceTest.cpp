#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

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
