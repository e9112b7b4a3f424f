#include "ui/updates/PreferencesView.h"

#include "TestSupport.h"
#include "kit/AquaButton.h"
#include "updates/FakeUpdaterController.h"
#include "updates/UpdateManager.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Receives what QDesktopServices would open.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};

const QString feed = QStringLiteral("SUFeedURL");
const QString key = QStringLiteral("SUPublicEDKey");

struct Tab {
    FakeUpdaterController* controller = nullptr;
    std::unique_ptr<UpdateManager> manager;
    std::unique_ptr<PreferencesView> view;

    explicit Tab(const QJsonObject& info, const QString& notices = {})
    {
        manager = std::make_unique<UpdateManager>(info, [this] {
            auto made = std::make_unique<FakeUpdaterController>();
            controller = made.get();
            return made;
        });
        view = std::make_unique<PreferencesView>(*manager, info, notices);
        view->show();
    }

    FakeUpdater& updater() const { return *controller->updater(); }
    QCheckBox* toggle(const QString& text) const
    {
        for (auto* box : view->findChildren<QCheckBox*>())
            if (box->text() == text)
                return box;
        return nullptr;
    }
    QCheckBox* checks() const { return toggle(QStringLiteral("Check for updates automatically")); }
    QCheckBox* downloads() const
    {
        return toggle(QStringLiteral("Download and install updates automatically"));
    }
    AquaButton* button(const QString& text) const
    {
        for (auto* button : view->findChildren<AquaButton*>())
            if (button->text() == text)
                return button;
        return nullptr;
    }
    AquaButton* checkButton() const { return button(QStringLiteral("Check for Updates…")); }
    bool shows(const QString& text) const
    {
        for (auto* label : view->findChildren<QLabel*>())
            if (label->text() == text)
                return true;
        return false;
    }
};

const QString footnote = QStringLiteral("Update checks are available in the packaged release.");

} // namespace

TEST(PreferencesView, AnUnconfiguredBuildShowsTheSectionDisabledWithTheFootnote)
{
    for (const QJsonObject& info : {QJsonObject{}, QJsonObject{{feed, QStringLiteral("https://h")}},
                                    QJsonObject{{key, QStringLiteral("k")}}}) {
        Tab tab(info);
        EXPECT_EQ(tab.controller->starts, 0);
        EXPECT_FALSE(tab.checks()->isEnabled());
        EXPECT_FALSE(tab.downloads()->isEnabled());
        EXPECT_FALSE(tab.checkButton()->isEnabled());
        EXPECT_TRUE(tab.shows(footnote));
        // Even an updater that announces values changes nothing here.
        tab.updater().setCanCheck(true);
        tab.updater().setChecks(true);
        EXPECT_FALSE(tab.checks()->isChecked());
        EXPECT_FALSE(tab.checkButton()->isEnabled());
    }
    // Empty values count as configured.
    Tab tab({{feed, QString()}, {key, QString()}});
    EXPECT_EQ(tab.controller->starts, 1);
    EXPECT_TRUE(tab.checks()->isEnabled());
    EXPECT_TRUE(tab.checkButton()->isEnabled());
    EXPECT_FALSE(tab.shows(footnote));
    QTest::mouseClick(tab.checkButton(), Qt::LeftButton);
    EXPECT_EQ(tab.controller->checks, 1);
    tab.updater().setCanCheck(false);
    EXPECT_FALSE(tab.checkButton()->isEnabled());
}

TEST(PreferencesView, TogglesWriteToTheUpdaterAndShowWhatItKept)
{
    Tab tab({{feed, QString()}, {key, QString()}});
    // Downloads are off limits while checks are off, whatever their own value.
    tab.updater().setDownloads(true);
    EXPECT_TRUE(tab.downloads()->isChecked());
    EXPECT_FALSE(tab.downloads()->isEnabled());

    QTest::mouseClick(tab.checks(), Qt::LeftButton);
    EXPECT_EQ(tab.updater().writes, 1);
    EXPECT_TRUE(tab.updater().automaticallyChecksForUpdates());
    EXPECT_TRUE(tab.checks()->isChecked());
    EXPECT_TRUE(tab.downloads()->isEnabled());
    EXPECT_TRUE(tab.downloads()->isChecked());

    // A refused write leaves the box at the updater's value.
    tab.updater().keepsWrites = false;
    QTest::mouseClick(tab.downloads(), Qt::LeftButton);
    EXPECT_EQ(tab.updater().writes, 2);
    EXPECT_TRUE(tab.downloads()->isChecked());
    QTest::mouseClick(tab.checks(), Qt::LeftButton);
    EXPECT_TRUE(tab.checks()->isChecked());

    // Changes made elsewhere (the updater's own dialogs) show at once.
    tab.updater().setChecks(false);
    EXPECT_FALSE(tab.checks()->isChecked());
    EXPECT_FALSE(tab.downloads()->isEnabled());
    EXPECT_TRUE(tab.downloads()->isChecked());
}

TEST(PreferencesView, VersionLine)
{
    using V = QJsonValue;
    EXPECT_EQ(PreferencesView::versionText({{QStringLiteral("CFBundleShortVersionString"),
                                             V(QStringLiteral("2.10.0 (beta)"))}}),
              QStringLiteral("Version 2.10.0 (beta)"));
    EXPECT_EQ(PreferencesView::versionText({}), QStringLiteral("Version Development"));
    EXPECT_EQ(PreferencesView::versionText({{QStringLiteral("CFBundleShortVersionString"), V(3)}}),
              QStringLiteral("Version Development"));
    Tab tab({{QStringLiteral("CFBundleShortVersionString"), V(QStringLiteral("1.4"))}});
    EXPECT_TRUE(tab.shows(QStringLiteral("Version 1.4")));

    // The longest text stays on one line beside the notices button.
    Tab development({});
    ASSERT_TRUE(development.shows(QStringLiteral("Version Development")));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(development.view.get()));
    for (auto* label : development.view->findChildren<QLabel*>())
        if (label->text() == QStringLiteral("Version Development")) {
            EXPECT_LT(label->height(), 2 * label->fontMetrics().lineSpacing());
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
        }
}

TEST(PreferencesView, NoticesOpenOnlyWhileTheFileExists)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    QTemporaryDir dir;
    const QString notices = dir.filePath(QStringLiteral("THIRD-PARTY-NOTICES.txt"));

    Tab without({}, notices);
    EXPECT_FALSE(without.button(QStringLiteral("Third-party notices"))->isEnabled());

    TestSupport::writeBytes(notices, "notices");
    Tab with({}, notices);
    AquaButton* button = with.button(QStringLiteral("Third-party notices"));
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl::fromLocalFile(notices)});

    // Gone after the view was built: the click does nothing.
    QFile::remove(notices);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(recorder.opened.size(), 1);
    EXPECT_FALSE(button->isEnabled());
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

#include "PreferencesViewTest.moc"
