#include "ui/window/ContentView.h"

#include "UiSupport.h"
#include "core/FileNames.h"
#include "ui/window/DropHighlight.h"
#include "ui/window/SidebarView.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct DropFixture : UiSupport::StoreFixture {
    ContentView view{state()};
    QMimeData data;
    QPoint point{600, 300};
    DropFixture()
    {
        view.resize(1180, 700);
        view.show();
        QTest::qWait(10);
    }
    void carry(const QList<QUrl>& urls) { data.setUrls(urls); }
    bool enter()
    {
        QDragEnterEvent event(point, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&view, &event);
        return event.isAccepted();
    }
    // The drop; returns whether it was taken, and the action the source is told.
    std::pair<bool, Qt::DropAction> drop(Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction)
    {
        QDropEvent event(point, offered, &data, Qt::LeftButton, {});
        event.setDropAction(Qt::MoveAction);
        QCoreApplication::sendEvent(&view, &event);
        return {event.isAccepted(), event.dropAction()};
    }
    bool frameShown() const { return view.dropHighlight()->isVisible(); }
};

} // namespace

TEST(Drops, ThreeFilesMakeOneAddInDraggedOrderAfterTheHandler)
{
    DropFixture f;
    QList<QUrl> urls;
    for (const char* name : {"c.png", "a.png", "b.png"}) {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::green);
        image.save(f.path(name));
        urls << QUrl::fromLocalFile(f.path(name));
    }
    urls.insert(1, QUrl(QStringLiteral("https://example.invalid/remote.png")));
    f.carry(urls);
    ASSERT_TRUE(f.enter());
    EXPECT_TRUE(f.frameShown());
    QSignalSpy importing(&f.state(), &AppState::isImportingChanged);
    const auto [taken, action] = f.drop();
    EXPECT_TRUE(taken);
    EXPECT_EQ(action, Qt::CopyAction) << "a proposed move becomes a copy";
    EXPECT_FALSE(f.frameShown()) << "no leave follows a drop";
    EXPECT_FALSE(f.view.dropTargeted());
    EXPECT_FALSE(f.state().isImporting()) << "handed over after the handler returns";

    QSignalSpy finished(&f.state(), &AppState::importFinished);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(finished.count(), 1) << "one add";
    QStringList names;
    for (const Item& each : f.state().items())
        names << FileNames::lastPathComponent(each.path);
    EXPECT_EQ(names, (QStringList{"c.png", "a.png", "b.png"}));
}

TEST(Drops, WhileRunningTheDragIsWelcomeButTheDropIsRefused)
{
    DropFixture f;
    f.state().setItems({UiSupport::item("queued.png", {4, 4})});
    ASSERT_TRUE(f.startHeldBatch());
    f.carry({QUrl::fromLocalFile(f.path("new.png"))});
    EXPECT_TRUE(f.enter());
    EXPECT_TRUE(f.frameShown());
    EXPECT_FALSE(f.drop().first);
    EXPECT_FALSE(f.frameShown());
    QTest::qWait(20);
    EXPECT_FALSE(f.state().isImporting());
    EXPECT_EQ(f.state().items().size(), 1);
}

TEST(Drops, RefusedWhileImportingAndWithoutLocalFiles)
{
    DropFixture f;
    f.carry({QUrl(QStringLiteral("https://example.invalid/a.png"))});
    EXPECT_FALSE(f.enter());
    EXPECT_FALSE(f.frameShown());

    ASSERT_TRUE(f.beginHeldImport());
    f.carry({QUrl::fromLocalFile(f.path("x.png"))});
    EXPECT_TRUE(f.enter());
    EXPECT_FALSE(f.drop().first);
    EXPECT_FALSE(f.frameShown());
}

TEST(Drops, TheFrameLeavesWithTheDragAndLetsClicksThrough)
{
    DropFixture f;
    f.carry({QUrl::fromLocalFile(f.path("x.png"))});
    ASSERT_TRUE(f.enter());
    DropHighlight* frame = f.view.dropHighlight();
    EXPECT_EQ(frame->geometry(), f.view.rect());
    const QPoint inSidebar = f.view.sidebar()->mapTo(&f.view, QPoint(100, 300));
    QWidget* under = f.view.childAt(inSidebar);
    ASSERT_NE(under, nullptr);
    EXPECT_NE(under, frame);
    EXPECT_TRUE(f.view.sidebar()->isAncestorOf(under));

    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(&f.view, &leave);
    EXPECT_FALSE(f.frameShown());
    EXPECT_FALSE(f.view.dropTargeted());
}

TEST(DropHighlight, StrokeStaysInsideTheInset)
{
    EXPECT_EQ(DropHighlight::strokeRect(QRectF(0, 0, 100, 80)), QRectF(7.5, 7.5, 85, 65));
    const QPen pen = DropHighlight::pen();
    EXPECT_EQ(pen.widthF(), 3);
    EXPECT_EQ(pen.color(), QColor(0x0A, 0x84, 0xFF));
    EXPECT_EQ(pen.dashPattern(), (QList<qreal>{8.0 / 3, 8.0 / 3}));
    EXPECT_EQ(pen.capStyle(), Qt::FlatCap);
    EXPECT_EQ(pen.joinStyle(), Qt::MiterJoin);
    EXPECT_EQ(pen.miterLimit(), 10);
}
