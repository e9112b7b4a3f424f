#include "ui/kit/Workspace.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QTest>
#include <gtest/gtest.h>

// The reveal over a real (private) session bus. These tests run only in their own CTest entry,
// under dbus-run-session, which sets TOLVANE_PRIVATE_BUS; anywhere else they could reach the
// desktop's real file manager.
namespace {

class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList uris;
    QString startupId;

public Q_SLOTS:
    void ShowItems(const QStringList& items, const QString& startup)
    {
        uris += items;
        startupId = startup;
    }
};

bool onPrivateBus()
{
    return qEnvironmentVariableIsSet("TOLVANE_PRIVATE_BUS") &&
           QDBusConnection::sessionBus().isConnected();
}

struct FolderRecorder {
    QList<QUrl> opened;
    Workspace::FolderOpener previous =
        Workspace::setFolderOpener([this](const QUrl& url) { opened.append(url); });
    ~FolderRecorder() { Workspace::setFolderOpener(previous); }
};

} // namespace

TEST(Workspace, TheHookReplacesTheWholeReveal)
{
    QStringList revealed;
    FolderRecorder folders;
    const auto previous =
        Workspace::setRevealHook([&](const QString& path) { revealed.append(path); });
    Workspace::reveal(QStringLiteral("/tmp/a b/photo.png"));
    Workspace::setRevealHook(previous);
    EXPECT_EQ(revealed, QStringList{QStringLiteral("/tmp/a b/photo.png")});
    EXPECT_TRUE(folders.opened.isEmpty());
}

TEST(WorkspaceBus, AsksTheFileManagerWithAnEncodedUri)
{
    if (!onPrivateBus())
        GTEST_SKIP() << "needs the private bus of its own test entry";
    FolderRecorder folders;
    FakeFileManager manager;
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    Workspace::reveal(QStringLiteral("/tmp/Holiday photos/été #1.png"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manager.uris.isEmpty(); }, 5000));
    EXPECT_EQ(manager.uris,
              QStringList{QStringLiteral("file:///tmp/Holiday%20photos/%C3%A9t%C3%A9%20%231.png")});
    EXPECT_TRUE(manager.startupId.isEmpty());
    QTest::qWait(100);
    EXPECT_TRUE(folders.opened.isEmpty());

    bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
}

TEST(WorkspaceBus, OpensTheFolderWhenNoFileManagerAnswers)
{
    if (!onPrivateBus())
        GTEST_SKIP() << "needs the private bus of its own test entry";
    FolderRecorder folders;
    ASSERT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.freedesktop.FileManager1")));
    Workspace::reveal(QStringLiteral("/tmp/shots/one.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !folders.opened.isEmpty(); }, 5000));
    EXPECT_EQ(folders.opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/shots"))});
}

// Run in its own entry with a session bus address that leads nowhere.
TEST(WorkspaceNoBus, OpensTheFolderThatHoldsTheFile)
{
    if (!qEnvironmentVariableIsSet("TOLVANE_NO_BUS"))
        GTEST_SKIP() << "needs its own test entry without a bus";
    FolderRecorder folders;
    Workspace::reveal(QStringLiteral("/srv/pictures/cat.png"));
    EXPECT_EQ(folders.opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/srv/pictures"))});
}

#include "WorkspaceTest.moc"
