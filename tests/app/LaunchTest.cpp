#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// The real executable starts its window headless, takes a path argument, and keeps running.
TEST(Launch, WindowModeStartsAndStaysUp)
{
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    // No session bus: the launch runs on its own, and never reaches a desktop's real one.
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tolvane-bus");
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TOLVANE_BINARY), {home.filePath("no-such-image.png")});
    ASSERT_TRUE(process.waitForStarted(10000));
    EXPECT_FALSE(process.waitForFinished(2500)) << process.readAllStandardError().toStdString();
    EXPECT_EQ(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished(5000);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
}
