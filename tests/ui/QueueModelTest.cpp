#include "ui/window/QueueModel.h"

#include "UiSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using UiSupport::item;

namespace {
struct ModelFixture : UiSupport::StoreFixture {
    QueueModel model{state()};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QSignalSpy resets{&model, &QAbstractItemModel::modelReset};
    QSignalSpy inserted{&model, &QAbstractItemModel::rowsInserted};
    QSignalSpy removed{&model, &QAbstractItemModel::rowsRemoved};
    QSignalSpy changed{&model, &QAbstractItemModel::dataChanged};

    QStringList names() const
    {
        QStringList shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown << model.index(row).data().toString();
        return shown;
    }
};
} // namespace

TEST(QueueModel, ImportsInsertRowsAndTicksChangeOneRow)
{
    ModelFixture f;
    ASSERT_TRUE(f.importImages({"a.png", "b.png", "c.png"}));
    EXPECT_EQ(f.names(), (QStringList{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(f.inserted.count(), 3);
    EXPECT_EQ(f.resets.count(), 0);

    ASSERT_TRUE(f.startHeldBatch());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return f.state().items()[0].status == Item::Status::working(0.4); }, 5000));
    ASSERT_GE(f.changed.count(), 1);
    for (const QList<QVariant>& change : f.changed) {
        EXPECT_EQ(change.at(0).toModelIndex().row(), 0);
        EXPECT_EQ(change.at(1).toModelIndex().row(), 0);
    }
    EXPECT_EQ(f.resets.count(), 0);
    EXPECT_EQ(f.model.item(f.model.index(0))->status, Item::Status::working(0.4));
    f.releaseBatch();
    QSignalSpy finished(&f.state(), &AppState::batchFinished);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(f.resets.count(), 0) << "a whole batch never resets the list";
}

TEST(QueueModel, RemovalsAndClearsKeepIdsInStep)
{
    ModelFixture f;
    const Item a = item("a.png", {1, 1}), b = item("b.png", {1, 1}), c = item("c.png", {1, 1});
    f.state().setItems({a, b, c});
    EXPECT_EQ(f.resets.count(), 1);

    f.state().remove(b.id);
    ASSERT_EQ(f.removed.count(), 1);
    EXPECT_EQ(f.removed.at(0).at(1).toInt(), 1);
    EXPECT_EQ(f.names(), (QStringList{"a.png", "c.png"}));
    EXPECT_EQ(f.model.id(f.model.index(1)), c.id);
    EXPECT_EQ(f.model.indexOf(c.id).row(), 1);
    EXPECT_FALSE(f.model.indexOf(b.id).isValid());
    EXPECT_EQ(f.model.index(1).data(QueueModel::IdRole).toUuid(), c.id);

    f.state().clearAll();
    EXPECT_EQ(f.resets.count(), 2);
    EXPECT_EQ(f.model.rowCount(), 0);
    EXPECT_EQ(f.model.item(QModelIndex()), nullptr);
}

TEST(QueueModel, AScaleChangeRefreshesEveryRowWithoutAReset)
{
    ModelFixture f;
    f.state().setItems({item("a.png", {1, 1}), item("b.png", {1, 1})});
    f.changed.clear();
    f.state().setScale(ScaleFactor::x8);
    ASSERT_EQ(f.changed.count(), 1);
    EXPECT_EQ(f.changed.at(0).at(0).toModelIndex().row(), 0);
    EXPECT_EQ(f.changed.at(0).at(1).toModelIndex().row(), 1);
    EXPECT_EQ(f.resets.count(), 1);
}

TEST(QueueModel, AFailureIsTheRowsTooltip)
{
    ModelFixture f;
    f.state().setItems(
        {item("a.png", {1, 1}, Item::Status::failed("Can't read a.png")), item("b.png", {1, 1})});
    EXPECT_EQ(f.model.index(0).data(Qt::ToolTipRole).toString(),
              QStringLiteral("Can't read a.png"));
    EXPECT_FALSE(f.model.index(1).data(Qt::ToolTipRole).isValid());

    // A file name that looks like markup is shown as it is.
    const QString markup = QStringLiteral("Can't read <b>bold.png</b> <img src=\"/etc/x.png\">");
    f.state().setItems({item("a.png", {1, 1}, Item::Status::failed(markup))});
    EXPECT_EQ(UiSupport::toolTipShows(f.model.index(0).data(Qt::ToolTipRole).toString()), markup);
}
