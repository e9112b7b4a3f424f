#include "AppDelegate.h"
#include "HandOver.h"
#include "SingleInstance.h"

#include "core/EngineError.h"
#include "imageio/ImageLoader.h"
#include "selftest/LaunchMode.h"
#include "selftest/SmokeTests.h"
#include "store/AppState.h"
#include "tracer/SVGVectorizer.h"
#include "ui/kit/TolvaneTheme.h"
#include "ui/updates/ApplicationUpdates.h"
#include "ui/window/FilePanels.h"
#include "ui/window/MainWindow.h"
#include "updates/UpdateManager.h"

#include <QApplication>
#include <QSettings>
#include <cstdio>

namespace {

void identifyApplication()
{
    QCoreApplication::setOrganizationDomain(QStringLiteral("vandelorn.com"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vandelorn"));
    QCoreApplication::setApplicationName(QStringLiteral("Tolvane"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
}

QString describe(const std::exception& error)
{
    if (auto* engine = dynamic_cast<const EngineError*>(&error))
        return engine->message();
    if (auto* failure = dynamic_cast<const SmokeTests::Failure*>(&error))
        return failure->description();
    return QString::fromUtf8(error.what());
}

// Headless modes: standard output carries the report, standard error only the failure line.
int runHeadless(int argc, char** argv, LaunchMode mode)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QCoreApplication app(argc, argv);
    identifyApplication();
    try {
        if (mode == LaunchMode::smokeTest)
            SmokeTests::run();
        else
            SmokeTests::makeDemo();
        return 0;
    } catch (const std::exception& error) {
        const QByteArray line = "FAIL: " + describe(error).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        return 1;
    }
}

int runWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    identifyApplication();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tolvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvane"));
    QGuiApplication::setWindowIcon(TolvaneTheme::applicationIcon());

    // One window per session: a later launch gives its files to the running one and ends
    // before it reads any settings.
    const QStringList paths = AppDelegate::launchPaths(app.arguments().mid(1));
    SingleInstance instance;
    if (instance.claim(paths) == SingleInstance::Role::handedOver)
        return 0;

    // The look never depends on the desktop: style, palette and fonts before any window.
    TolvaneTheme::apply(app);

    AppDelegate delegate;
    AppState state;
    // "Install and Relaunch" quits the way the Quit command does, question included.
    const std::unique_ptr<UpdateManager> updates =
        ApplicationUpdates::make([&delegate] { return delegate.quit(); });
    MainWindow window(state, *updates);
    state.setOpenPanel(FilePanels::openPanel(&window));
    state.setFolderPanel(FilePanels::folderPanel(&window));
    delegate.watch(&window, state);
    QObject::connect(&window, &MainWindow::quitRequested, &delegate, &AppDelegate::quit);

    window.show();
    window.raise();
    window.activateWindow();
    HandOver handOver(state, &window);
    QObject::connect(&instance, &SingleInstance::opened, &handOver, &HandOver::open);
    AppDelegate::openPaths(state, paths);
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    ImageLoader::configureReaders();
    SVGVectorizer::registerWithImageWriter();
    const LaunchMode mode = launchMode(rawArguments(argc, argv));
    if (mode != LaunchMode::window)
        return runHeadless(argc, argv, mode);
    return runWindow(argc, argv);
}
