#include "ui/window/ContentView.h"

#include "UiSupport.h"
#include "core/FileNames.h"
#include "ui/kit/Spinner.h"
#include "ui/window/DetailHeader.h"
#include "ui/window/DropHighlight.h"
#include "ui/window/SidebarView.h"
#include "ui/window/StatusLine.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <gtest/gtest.h>

using UiSupport::item;

namespace {

struct ContentFixture : UiSupport::StoreFixture {
    ContentView view{state()};
    ContentFixture(QSize size = {1180, 700})
    {
        view.resize(size);
        view.show();
        QTest::qWait(10);
    }
    QAction* action(const QString& title) const
    {
        for (QAction* each : view.toolbar()->actions())
            if (each->text() == title)
                return each;
        return nullptr;
    }
    QStringList enabledActions() const
    {
        QStringList enabled;
        for (QAction* each : view.toolbar()->actions())
            if (each->isEnabled())
                enabled << each->text();
        return enabled;
    }
};

} // namespace

TEST(ContentView, HeaderNamesTheSelectionOnly)
{
    ContentFixture f;
    EXPECT_FALSE(f.view.detailHeader()->isVisible());
    const Item picture =
        item("a-rather-long-file-name-of-a-holiday-picture-taken-at-the-sea.png", {1024, 768});
    f.state().setItems({picture});
    EXPECT_FALSE(f.view.detailHeader()->isVisible());
    f.state().setSelection(picture.id);
    EXPECT_TRUE(f.view.detailHeader()->isVisible());
    EXPECT_EQ(f.view.detailHeader()->name(), FileNames::lastPathComponent(picture.path));
    EXPECT_EQ(f.view.detailHeader()->size(), QStringLiteral("1024 × 768 px"));
    f.state().remove(picture.id);
    EXPECT_FALSE(f.view.detailHeader()->isVisible());
}

TEST(ContentView, SplitterKeepsItsLimitsUnderHandleDrags)
{
    ContentFixture f({960, 620});
    QSplitter* splitter = f.view.splitter();
    const auto drag = [&](int handle, int dx) {
        QWidget* grip = splitter->handle(handle);
        const QPoint start(0, grip->height() / 2);
        QTest::mousePress(grip, Qt::LeftButton, {}, start);
        QTest::mouseMove(grip, start + QPoint(dx, 0));
        QTest::mouseRelease(grip, Qt::LeftButton, {}, start + QPoint(dx, 0));
    };
    EXPECT_EQ(splitter->sizes()[0], 240);
    EXPECT_EQ(splitter->sizes()[2], 270);

    drag(1, -200);
    EXPECT_EQ(splitter->sizes()[0], 220);
    drag(1, 400);
    EXPECT_LE(splitter->sizes()[0], 340);
    EXPECT_GE(splitter->sizes()[1], 400);
    drag(2, -300);
    EXPECT_EQ(splitter->sizes()[2], 270);
    EXPECT_GE(splitter->sizes()[1], 400);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(splitter->sizes()[i], 0) << "never collapsed";

    f.view.resize(1600, 620);
    QTest::qWait(10);
    EXPECT_EQ(splitter->sizes()[2], 270);
    EXPECT_LE(splitter->sizes()[0], 340);

    EXPECT_EQ(ContentView::initialSizes(1180), (QList<int>{240, 668, 270}));
    EXPECT_EQ(ContentView::initialSizes(500), (QList<int>{240, 400, 270}));
}

TEST(ContentView, ToolbarFollowsTheQueueAndTheBusyFlags)
{
    ContentFixture f;
    QToolBar* toolbar = f.view.toolbar();
    EXPECT_FALSE(toolbar->isMovable());
    EXPECT_EQ(f.enabledActions(), (QStringList{"AI Studio", "Add"}));
    EXPECT_EQ(f.action("Add")->toolTip(), QStringLiteral("Add images or folders (Ctrl+O)"));
    EXPECT_EQ(f.action("Reset")->toolTip(),
              QStringLiteral("Mark all as pending to process again with new settings"));
    EXPECT_EQ(f.action("Clear")->toolTip(), QStringLiteral("Remove all from the list"));
    f.action("Add")->trigger();
    EXPECT_EQ(f.panelCalls(), 1);

    f.state().setItems({item("a.png", {4, 4}, Item::Status::done(), "/o/a.png")});
    EXPECT_EQ(f.enabledActions(), (QStringList{"AI Studio", "Add", "Reset", "Clear"}));
    f.action("Reset")->trigger();
    EXPECT_TRUE(f.state().items()[0].status.is(Item::Status::Kind::pending));

    ASSERT_TRUE(f.startHeldBatch());
    EXPECT_TRUE(f.enabledActions().isEmpty());
    f.releaseBatch();
    QSignalSpy finished(&f.state(), &AppState::batchFinished);
    ASSERT_TRUE(finished.wait(5000));
    f.action("Clear")->trigger();
    EXPECT_TRUE(f.state().items().isEmpty());

    ASSERT_TRUE(f.beginHeldImport());
    EXPECT_TRUE(f.enabledActions().isEmpty());
}

TEST(ContentView, StudioSheetOpensAgainAfterClosing)
{
    ContentFixture f;
    int made = 0;
    f.view.setStudioFactory([&made](AppState&, QWidget* parent) {
        ++made;
        return new QDialog(parent);
    });
    EXPECT_FALSE(f.view.showStudio());
    f.action("AI Studio")->trigger();
    ASSERT_TRUE(f.view.showStudio());
    EXPECT_TRUE(f.view.studio()->isVisible());
    EXPECT_TRUE(f.view.studio()->isModal() || f.view.studio()->windowModality() != Qt::NonModal);
    f.action("AI Studio")->trigger(); // already open: no second sheet
    EXPECT_EQ(made, 1);
    f.view.studio()->reject();
    EXPECT_FALSE(f.view.showStudio());
    f.action("AI Studio")->trigger();
    EXPECT_TRUE(f.view.showStudio());
    EXPECT_EQ(made, 2);
}

TEST(ContentView, ImportAlertMirrorsTheNotice)
{
    ContentFixture f;
    EXPECT_EQ(f.view.importAlert(), nullptr);
    f.state().setNotice(QStringLiteral("No readable images were found."));
    QMessageBox* alert = f.view.importAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->text(), QStringLiteral("Couldn't add images"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("No readable images were found."));

    f.state().setNotice(QStringLiteral("Something else."));
    EXPECT_EQ(f.view.importAlert(), alert) << "updated in place";
    EXPECT_EQ(alert->informativeText(), QStringLiteral("Something else."));
    auto* details = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->textFormat(), Qt::PlainText) << "a file name is never read as markup";

    f.state().setNotice(std::nullopt); // cleared elsewhere: the alert goes
    EXPECT_EQ(f.view.importAlert(), nullptr);

    f.state().setNotice(QStringLiteral("Again."));
    ASSERT_NE(f.view.importAlert(), nullptr);
    f.view.importAlert()->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(f.state().notice()) << "OK clears the notice";
    EXPECT_EQ(f.view.importAlert(), nullptr);
}

TEST(ContentView, StatusLineFollowsARealBatchToItsSummary)
{
    ContentFixture f;
    StatusLine* status = f.view.statusLine();
    QStringList seen;
    const auto record = [&] {
        if (seen.isEmpty() || seen.last() != status->text())
            seen << status->text();
    };
    for (auto signal : {&AppState::itemsChanged, &AppState::isRunningChanged,
                        &AppState::isImportingChanged, &AppState::lastRunSummaryChanged})
        QObject::connect(&f.state(), signal, status, record, Qt::QueuedConnection);
    EXPECT_EQ(status->symbol(), QStringLiteral("lock.shield"));

    f.state().setScale(ScaleFactor::x1);
    f.state().setFormat(OutputFormat::png);
    ASSERT_TRUE(f.importImages({"one.png", "two.png", "three.png"}));
    QSignalSpy finished(&f.state(), &AppState::batchFinished);
    f.state().start();
    EXPECT_TRUE(status->progressBar()->isVisibleTo(&f.view));
    EXPECT_FALSE(status->spinner()->isVisibleTo(&f.view));
    EXPECT_EQ(status->text(), QStringLiteral("0 of 3 saved"));
    ASSERT_TRUE(finished.wait(30000));
    QTest::qWait(10);

    EXPECT_EQ(status->text(), QStringLiteral("3 saved · Originals preserved"));
    EXPECT_EQ(status->symbol(), QStringLiteral("checkmark.circle"));
    EXPECT_FALSE(status->progressBar()->isVisibleTo(&f.view));
    EXPECT_TRUE(seen.contains(QStringLiteral("Adding images…")));
    EXPECT_TRUE(seen.contains(QStringLiteral("1 of 3 saved")));
    EXPECT_TRUE(seen.contains(QStringLiteral("2 of 3 saved")));
    for (const Item& done : f.state().items())
        EXPECT_TRUE(QFile::exists(done.outputPath)) << done.outputPath.toStdString();
}
