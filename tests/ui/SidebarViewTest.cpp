#include "ui/window/SidebarView.h"

#include "UiSupport.h"
#include "core/EngineError.h"
#include "ui/window/ItemRowDelegate.h"
#include "ui/window/QueueModel.h"
#include "ui/window/RowMenu.h"

#include <QListView>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using UiSupport::item;

namespace {
struct SidebarFixture : UiSupport::StoreFixture {
    SidebarView view{state()};
    SidebarFixture()
    {
        view.resize(240, 600);
        view.show();
    }
    std::optional<QUuid> listSelection() const
    {
        const QModelIndexList chosen = view.list()->selectionModel()->selectedIndexes();
        if (chosen.isEmpty())
            return std::nullopt;
        return view.model()->id(chosen.first());
    }
    void click(int row)
    {
        const QRect rect = view.list()->visualRect(view.model()->index(row));
        QTest::mouseClick(view.list()->viewport(), Qt::LeftButton, {}, rect.center());
    }
};
} // namespace

TEST(SidebarView, SubtitleCountsImages)
{
    EXPECT_EQ(SidebarView::subtitle(0), QStringLiteral("Ready when you are"));
    EXPECT_EQ(SidebarView::subtitle(1), QStringLiteral("1 image"));
    EXPECT_EQ(SidebarView::subtitle(2), QStringLiteral("2 images"));
    EXPECT_EQ(SidebarView::subtitle(12), QStringLiteral("12 images"));
}

TEST(SidebarView, TheFirstImportReplacesTheHintAndSelectsTheFirstItem)
{
    SidebarFixture f;
    EXPECT_TRUE(f.view.showsHint());
    EXPECT_EQ(f.view.subtitleText(), QStringLiteral("Ready when you are"));
    ASSERT_TRUE(f.importImages({"a.png", "b.png"}));
    EXPECT_FALSE(f.view.showsHint());
    EXPECT_EQ(f.view.subtitleText(), QStringLiteral("2 images"));
    ASSERT_TRUE(f.state().selection());
    EXPECT_EQ(f.listSelection(), f.state().items()[0].id);

    f.state().clearAll();
    EXPECT_TRUE(f.view.showsHint());
    EXPECT_FALSE(f.listSelection());
}

TEST(SidebarView, SelectionIsBoundBothWays)
{
    SidebarFixture f;
    const QList<Item> items{item("a.png", {10, 10}), item("b.png", {10, 10}),
                            item("c.png", {10, 10})};
    f.state().setItems(items);

    f.click(2);
    EXPECT_EQ(f.state().selection(), items[2].id);
    f.state().setSelection(items[1].id);
    EXPECT_EQ(f.listSelection(), items[1].id);
    QTest::keyClick(f.view.list(), Qt::Key_Down);
    EXPECT_EQ(f.state().selection(), items[2].id);
    f.state().setSelection(std::nullopt);
    EXPECT_FALSE(f.listSelection());

    // Removing the selected item moves the selection to the first one, on both sides.
    f.state().setSelection(items[1].id);
    f.state().remove(items[1].id);
    EXPECT_EQ(f.state().selection(), items[0].id);
    EXPECT_EQ(f.listSelection(), items[0].id);
    // Removing another keeps it.
    f.state().remove(items[2].id);
    EXPECT_EQ(f.state().selection(), items[0].id);
    EXPECT_EQ(f.listSelection(), items[0].id);
}

TEST(SidebarView, ABatchKeepsTheSelectionAndResetsNothing)
{
    SidebarFixture f;
    ASSERT_TRUE(f.importImages({"a.png", "b.png", "c.png"}));
    const QUuid chosen = f.state().items()[2].id;
    f.state().setSelection(chosen);
    QTest::qWait(20); // painted once: thumbnails made
    QSignalSpy resets(f.view.model(), &QAbstractItemModel::modelReset);
    const int thumbnails = f.view.delegate()->thumbnailsMade();
    const int rowHeight = f.view.list()->visualRect(f.view.model()->index(0)).height();

    ASSERT_TRUE(f.startHeldBatch());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return f.state().items()[0].status == Item::Status::working(0.4); }, 5000));
    QTest::qWait(20); // let the list repaint the ticking row
    EXPECT_EQ(f.listSelection(), chosen);
    EXPECT_EQ(f.state().selection(), chosen);
    EXPECT_EQ(f.view.list()->visualRect(f.view.model()->index(0)).height(), rowHeight);
    f.releaseBatch();
    QSignalSpy finished(&f.state(), &AppState::batchFinished);
    ASSERT_TRUE(finished.wait(5000));
    QTest::qWait(20);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(f.listSelection(), chosen);
    EXPECT_EQ(f.view.delegate()->thumbnailsMade(), thumbnails) << "thumbnails are made once";
}

TEST(SidebarView, AddButtonFollowsBusyFlagsOnly)
{
    SidebarFixture f;
    QToolButton* add = f.view.addButton();
    EXPECT_TRUE(add->isEnabled()) << "enabled with an empty queue";
    EXPECT_EQ(add->toolTip(), QStringLiteral("Add images"));
    EXPECT_EQ(add->accessibleName(), QStringLiteral("Add images"));
    add->click();
    EXPECT_EQ(f.panelCalls(), 1);

    ASSERT_TRUE(f.beginHeldImport());
    EXPECT_FALSE(add->isEnabled());
    ASSERT_TRUE(f.finishImport());
    EXPECT_TRUE(add->isEnabled());

    f.state().setItems({item("a.png", {10, 10})});
    ASSERT_TRUE(f.startHeldBatch());
    EXPECT_FALSE(add->isEnabled());
}

TEST(SidebarView, RowMenuRemovesItsOwnRow)
{
    SidebarFixture f;
    const QList<Item> items{item("a.png", {10, 10}), item("b.png", {10, 10})};
    f.state().setItems(items);
    f.state().setSelection(items[0].id);
    const QRect second = f.view.list()->visualRect(f.view.model()->index(1));
    Q_EMIT f.view.list()->customContextMenuRequested(second.center());
    QMenu* menu = f.view.findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(removeEntry(*menu)->data().toUuid(), items[1].id);
    removeEntry(*menu)->trigger();
    menu->close();
    ASSERT_EQ(f.state().items().size(), 1);
    EXPECT_EQ(f.state().items()[0].id, items[0].id);
    EXPECT_EQ(f.state().selection(), items[0].id);
}

TEST(ItemRowDelegate, FailuresTakeTwoLinesAtMostAndGrowTheirRow)
{
    const QFont font = QApplication::font();
    const QString message = QStringLiteral("The image is too large to enlarge at 16×. Choose a "
                                           "smaller scale or split the image into parts first.");
    const int width = QFontMetrics(font).horizontalAdvance(message) / 3;
    const QStringList lines = ItemRowDelegate::failureLines(message, font, width);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(message.startsWith(lines[0]));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("…")));
    EXPECT_LE(QFontMetrics(font).horizontalAdvance(lines[1]), width);
    EXPECT_EQ(ItemRowDelegate::failureLines(QStringLiteral("Can't read a.png"), font, 400),
              QStringList{QStringLiteral("Can't read a.png")});

    SidebarFixture f;
    f.state().setItems({item("a.png", {10, 10}), item("b.png", {10, 10})});
    QListView* list = f.view.list();
    const int pending = list->visualRect(f.view.model()->index(1)).height();
    f.state().setItems(
        {item("a.png", {10, 10}), item("b.png", {10, 10}, Item::Status::failed(message))});
    QTest::qWait(10);
    const int failed = list->visualRect(f.view.model()->index(1)).height();
    EXPECT_GT(failed, pending);
    EXPECT_EQ(f.view.model()->index(1).data(Qt::ToolTipRole).toString(), message);

    // A row that fails during a batch grows in place, without a reset.
    SidebarFixture g;
    ASSERT_TRUE(g.importImages({"a.png", "b.png"}));
    QTest::qWait(10);
    const int before = g.view.list()->visualRect(g.view.model()->index(0)).height();
    g.state().setPipelineRun(
        [&](const QString&, const JobSettings&, const CancelToken&,
            const Pipeline::Progress&) -> QString { throw MessageError(message); });
    QSignalSpy finished(&g.state(), &AppState::batchFinished);
    g.state().start();
    ASSERT_TRUE(finished.wait(5000));
    QTest::qWait(10);
    EXPECT_GT(g.view.list()->visualRect(g.view.model()->index(0)).height(), before);
    EXPECT_EQ(g.view.list()->visualRect(g.view.model()->index(1)).top(),
              g.view.list()->visualRect(g.view.model()->index(0)).bottom() + 1)
        << "the rows below move down";
}
