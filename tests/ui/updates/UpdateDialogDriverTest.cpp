#include "ui/updates/UpdateDialogDriver.h"

#include "kit/AquaButton.h"
#include "ui/updates/UpdateDialog.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

AppcastItem release()
{
    AppcastItem item;
    item.version = QStringLiteral("1.2.0");
    item.length = 2'000'000;
    item.notes = QStringLiteral("<b>Faster</b> & smaller");
    return item;
}

// The one visible dialog of the driver, if any.
template <typename T = UpdateDialog> T* openDialog()
{
    T* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) {
            EXPECT_EQ(found, nullptr) << "more than one dialog open";
            found = dialog;
        }
    return found;
}

AquaButton* button(QWidget* dialog, const QString& text)
{
    for (auto* button : dialog->findChildren<AquaButton*>())
        if (button->text() == text && button->isVisible())
            return button;
    return nullptr;
}

void settle()
{
    // Closed dialogs delete themselves later.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

TEST(UpdateDialogDriver, FoundDialogAnswersEachChoiceAndShowsNotesAsText)
{
    using Choice = UpdateUserDriver::Choice;
    const std::pair<QString, Choice> clicks[] = {
        {QStringLiteral("Install Update"), Choice::install},
        {QStringLiteral("Remind Me Later"), Choice::remindLater},
        {QStringLiteral("Skip This Version"), Choice::skip},
    };
    for (const auto& [text, expected] : clicks) {
        UpdateDialogDriver driver([] { return nullptr; });
        std::optional<Choice> answer;
        driver.showUpdateFound(release(), QStringLiteral("1.0.0"), [&](Choice c) { answer = c; });
        UpdateDialog* dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->findChild<QPlainTextEdit*>()->toPlainText(),
                  QStringLiteral("<b>Faster</b> & smaller"));
        QTest::mouseClick(button(dialog, text), Qt::LeftButton);
        EXPECT_EQ(answer, expected) << text.toStdString();
        settle();
        EXPECT_EQ(openDialog(), nullptr);
    }
    // Escape is "later", never an install.
    UpdateDialogDriver driver([] { return nullptr; });
    std::optional<Choice> answer;
    driver.showUpdateFound(release(), QStringLiteral("1.0.0"), [&](Choice c) { answer = c; });
    QTest::keyClick(openDialog(), Qt::Key_Escape);
    EXPECT_EQ(answer, Choice::remindLater);
    settle();
}

TEST(UpdateDialogDriver, OneProgressDialogFollowsTheStepsAndCancelsOnce)
{
    UpdateDialogDriver driver([] { return nullptr; });
    int cancels = 0;
    driver.showChecking([&] { ++cancels; });
    UpdateProgressDialog* progress = openDialog<UpdateProgressDialog>();
    ASSERT_NE(progress, nullptr);
    driver.showDownloadProgress(release(), 500'000, 2'000'000, [&] { ++cancels; });
    driver.showDownloadProgress(release(), 1'000'000, 2'000'000, [&] { ++cancels; });
    EXPECT_EQ(openDialog<UpdateProgressDialog>(), progress);
    EXPECT_EQ(UpdateProgressDialog::sizeText(1'000'000, 2'000'000),
              QStringLiteral("1.0 MB of 2.0 MB"));
    QTest::mouseClick(button(progress, QStringLiteral("Cancel")), Qt::LeftButton);
    EXPECT_EQ(cancels, 1);
    settle();
    EXPECT_EQ(openDialog(), nullptr);

    // Installing cannot be cancelled, not even with Escape; the updater closes it.
    driver.showInstalling(release());
    progress = openDialog<UpdateProgressDialog>();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(button(progress, QStringLiteral("Cancel")), nullptr);
    QTest::keyClick(progress, Qt::Key_Escape);
    EXPECT_TRUE(progress->isVisible());
    driver.dismissProgress();
    settle();
    EXPECT_EQ(openDialog(), nullptr);
    EXPECT_EQ(cancels, 1);
}

TEST(UpdateDialogDriver, ReadyUpToDateAndErrorAnswerOnce)
{
    for (const bool now : {true, false}) {
        UpdateDialogDriver driver([] { return nullptr; });
        std::optional<bool> answer;
        driver.showChecking([] {});
        driver.showReadyToInstall(release(), [&](bool n) { answer = n; });
        // The progress dialog made way for it.
        settle();
        EXPECT_EQ(openDialog<UpdateProgressDialog>(), nullptr);
        QTest::mouseClick(button(openDialog(), now ? QStringLiteral("Install and Relaunch")
                                                   : QStringLiteral("Later")),
                          Qt::LeftButton);
        EXPECT_EQ(answer, now);
        settle();
    }
    UpdateDialogDriver driver([] { return nullptr; });
    int done = 0;
    driver.showError(QStringLiteral("The update server did not answer in time."), [&] { ++done; });
    QTest::mouseClick(button(openDialog(), QStringLiteral("OK")), Qt::LeftButton);
    settle();
    driver.showUpToDate(QStringLiteral("1.0.0"), [&] { ++done; });
    QTest::keyClick(openDialog(), Qt::Key_Escape);
    EXPECT_EQ(done, 2);
    settle();

    // A driver that goes away with a dialog open answers nothing.
    {
        UpdateDialogDriver gone([] { return nullptr; });
        gone.showError(QStringLiteral("x"), [&] { ++done; });
    }
    settle();
    EXPECT_EQ(done, 2);
    EXPECT_EQ(openDialog(), nullptr);
}
