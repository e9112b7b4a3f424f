#include "Look.h"

#include "../updates/FakeUpdaterController.h"
#include "app/AppDelegate.h"
#include "cloud/APIKeyConnection.h"
#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "core/Resources.h"
#include "settings/SettingsWindow.h"
#include "store/AppState.h"
#include "ui/kit/TolvaneTheme.h"
#include "ui/studio/APIKeysView.h"
#include "ui/window/AboutWindow.h"
#include "ui/window/FilePanels.h"
#include "ui/window/MainWindow.h"
#include "updates/UpdateManager.h"

#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>

namespace {

// A main window owning its store and updater.
MainWindow* mainWindow()
{
    auto* state = new AppState;
    auto* updates = new UpdateManager({}, [] { return std::make_unique<FakeUpdaterController>(); });
    auto* window = new MainWindow(*state, *updates);
    state->setParent(window);
    updates->setParent(window);
    return window;
}

QWidget* settingsWindow(int tab)
{
    KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
    auto* updates = new UpdateManager({}, [] { return std::make_unique<FakeUpdaterController>(); });
    auto* window = new SettingsWindow(SettingsWindow::standardTabs(*updates));
    updates->setParent(window);
    window->tabs()->setCurrentIndex(tab);
    return window;
}

QWidget* openMenu(QWidget* widget, int index)
{
    auto* window = static_cast<MainWindow*>(widget);
    QMenu* menu = window->menuBar()->actions().at(index)->menu();
    menu->popup(window->mapToGlobal(QPoint(0, window->menuBar()->height())));
    return menu;
}

// A folder of a few images and subfolders for the panels to show.
QString sampleFolder()
{
    const QString folder = QDir::tempPath() + QStringLiteral("/look-panel");
    QDir().mkpath(folder + QStringLiteral("/Holiday"));
    QDir().mkpath(folder + QStringLiteral("/Scans"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    for (const char* name : {"beach.png", "portrait.jpg", "logo.webp"})
        image.save(folder + u'/' + QLatin1String(name));
    QFile notes(folder + QStringLiteral("/notes.txt"));
    if (notes.open(QIODevice::WriteOnly))
        notes.write("not an image");
    return folder;
}

QWidget* applicationIcon()
{
    auto* label = new QLabel;
    label->setPixmap(TolvaneTheme::applicationIcon().pixmap(256, 256));
    auto* small = new QLabel;
    small->setPixmap(TolvaneTheme::applicationIcon().pixmap(32, 32));
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->addWidget(label);
    layout->addWidget(small, 0, Qt::AlignBottom);
    return Look::onBackdrop(row);
}

const Look::Registration states{{
    {QStringLiteral("main-window"), [] { return mainWindow(); }, QSize(1180, 765)},
    {QStringLiteral("main-window-minimum"), [] { return mainWindow(); }, QSize(960, 645)},
    // The size the window gives itself on the screen the runner has.
    {QStringLiteral("main-window-first"), [] { return mainWindow(); }},
    {QStringLiteral("main-window-file-menu"),
     [] { return mainWindow(); },
     QSize(1180, 765),
     {},
     [](QWidget* window) { return openMenu(window, 0); }},
    {QStringLiteral("main-window-help-menu"),
     [] { return mainWindow(); },
     QSize(1180, 765),
     {},
     [](QWidget* window) { return openMenu(window, 1); }},
    {QStringLiteral("settings-api-keys"),
     [] { return settingsWindow(0); },
     {},
     [](QWidget* window) {
         if (auto* keys = window->findChild<APIKeysView*>())
             (void)QTest::qWaitFor([keys] { return !keys->connection().reading(); }, 5000);
     }},
    {QStringLiteral("settings-updates"), [] { return settingsWindow(1); }},
    {QStringLiteral("quit-alert"), [] { return AppDelegate::makeQuitBox(); }},
    {QStringLiteral("open-panel"),
     [] {
         auto* dialog = new OpenPanelDialog;
         dialog->setDirectory(sampleFolder());
         return dialog;
     },
     QSize()},
    {QStringLiteral("folder-panel"),
     [] {
         auto* dialog = new FolderPanelDialog;
         dialog->setDirectory(sampleFolder());
         return dialog;
     },
     QSize()},
    {QStringLiteral("application-icon"), [] { return applicationIcon(); }},
    {QStringLiteral("about-window"), [] { return new AboutWindow; }},
}};

} // namespace
