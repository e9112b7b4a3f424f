#include "ui/window/StatusLine.h"

#include "UiSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using Form = StatusLine::Content::Form;
using UiSupport::item;

TEST(StatusLine, IdleWithAndWithoutASummary)
{
    UiSupport::StoreFixture f;
    StatusLine::Content idle = StatusLine::compute(f.state());
    EXPECT_EQ(idle.form, Form::idle);
    EXPECT_EQ(idle.symbol, QStringLiteral("lock.shield"));
    EXPECT_EQ(idle.text, QStringLiteral("On-device AI · Your images stay on your computer"));

    ASSERT_TRUE(f.importImages({"a.png"}));
    f.state().setPipelineRun([](const QString& path, const JobSettings&, const CancelToken&,
                                const Pipeline::Progress&) { return path + ".out"; });
    QSignalSpy finished(&f.state(), &AppState::batchFinished);
    f.state().start();
    ASSERT_TRUE(finished.wait(5000));
    const StatusLine::Content after = StatusLine::compute(f.state());
    EXPECT_EQ(after.symbol, QStringLiteral("checkmark.circle"));
    EXPECT_EQ(after.text, QStringLiteral("1 saved · Originals preserved"));

    f.state().clearAll(); // clearing forgets the summary
    EXPECT_EQ(StatusLine::compute(f.state()).symbol, QStringLiteral("lock.shield"));
}

TEST(StatusLine, RunningCountsSavedAgainstTheWholeQueue)
{
    UiSupport::StoreFixture f;
    f.state().setItems({item("1.png", {1, 1}, Item::Status::done(), "/o/1.png"),
                        item("2.png", {1, 1}, Item::Status::failed("Can't read 2.png")),
                        item("3.png", {1, 1}, Item::Status::done(), "/o/3.png"),
                        item("4.png", {1, 1}), item("5.png", {1, 1})});
    ASSERT_TRUE(f.startHeldBatch());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return f.state().items()[1].status == Item::Status::working(0.4); }, 5000));
    const StatusLine::Content running = StatusLine::compute(f.state());
    EXPECT_EQ(running.form, Form::running);
    EXPECT_EQ(running.text, QStringLiteral("2 of 5 saved"));
    EXPECT_NEAR(running.progress, (2 + 0.4) / 5, 1e-9);
    EXPECT_TRUE(running.symbol.isEmpty());
}

TEST(StatusLine, AnImportWinsOverEverything)
{
    UiSupport::StoreFixture f;
    ASSERT_TRUE(f.beginHeldImport());
    const StatusLine::Content importing = StatusLine::compute(f.state());
    EXPECT_EQ(importing.form, Form::importing);
    EXPECT_EQ(importing.text, QStringLiteral("Adding images…"));
    ASSERT_TRUE(f.finishImport());
    EXPECT_EQ(StatusLine::compute(f.state()).form, Form::idle);
}
