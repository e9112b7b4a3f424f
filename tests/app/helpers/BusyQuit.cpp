// A process that quits the way the application does while work runs: the real delegate and its
// question, the studio sheet busy over a window, a batch, or both. It confirms "Quit Tolvane"
// and must then end by itself with status 0; the test that starts it kills it otherwise.
//
//   busy_quit <service|ownkey|batch|both> <command|close>

#include "app/AppDelegate.h"
#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "cloud/ServiceClient.h"
#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "store/AppState.h"
#include "studio/CloudStudioView.h"
#include "support/LoopbackHttpServer.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

using TestSupport::HttpReply;

const QByteArray catalog =
    R"({"models":[{"id":"grok-1k-low","name":"Grok 1K","provider":"xAI","credits":4,)"
    R"("available":true,"resolution":"1k","quality":"low"}]})";

// Every answer the studio waits for never comes.
void stallEverything(TestSupport::LoopbackHttpServer& server)
{
    server.reply("GET", QStringLiteral("/api/models"), HttpReply::json(200, catalog));
    server.reply("POST", QStringLiteral("/api/cloud/generate"),
                 HttpReply::json(200, R"({"status":"queued","job_id":"J1"})"));
    server.reply("POST", QStringLiteral("/api/cloud/result"), HttpReply::stall());
    server.reply("POST", QStringLiteral("/v1/images/generations"), HttpReply::stall());
}

// A batch item that works until it is stopped.
void startBatch(AppState& state, const QString& folder)
{
    state.setPipelineRun([](const QString&, const JobSettings&, const CancelToken& token,
                            const Pipeline::Progress&) -> QString {
        while (!token.isCancelled())
            QThread::msleep(10);
        throw UpscaleError::cancelled();
    });
    Item item;
    item.id = QUuid::createUuid();
    item.path = folder + QStringLiteral("/a.png");
    state.setItems({item});
    state.start();
}

// Chooses "Quit Tolvane" once the question is up.
void confirmWhenAsked()
{
    QTimer::singleShot(0, [] {
        if (!QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000))
            return;
        for (auto* button : QApplication::activeModalWidget()->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Quit Tolvane"))
                button->click();
    });
}

int fail(const char* why)
{
    std::fprintf(stderr, "busy_quit: %s\n", why);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString scenario = app.arguments().value(1);
    const bool byClose = app.arguments().value(2) == QStringLiteral("close");
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    auto keyring = std::make_shared<InMemorySecretStore>();
    keyring->store(QString::fromUtf16(KeychainStore::service), QStringLiteral("provider.xai"),
                   "xai-0123456789abcdefghijklmnop");
    KeychainStore::setStore(keyring);

    QTemporaryDir folder;
    TestSupport::LoopbackHttpServer server;
    stallEverything(server);
    QNetworkAccessManager network;
    ServiceClient service(QUrl(server.base()), &network);
    QSettings settings(folder.filePath(QStringLiteral("studio.ini")), QSettings::IniFormat);

    AppDelegate delegate;
    AppState state(std::make_unique<QSettings>(folder.filePath(QStringLiteral("app.ini")),
                                               QSettings::IniFormat));
    QWidget window;
    window.resize(800, 600);
    delegate.watch(&window, state);
    window.show();

    const bool batch = scenario == QStringLiteral("batch") || scenario == QStringLiteral("both");
    const bool sheet = scenario != QStringLiteral("batch");
    if (batch)
        startBatch(state, folder.path());
    if (sheet) {
        CloudStudio::Environment env;
        env.network = &network;
        env.service = &service;
        env.xaiBase = QUrl(server.base());
        env.settings = &settings;
        env.chooseNewPngFile = [&folder](const QString&, const QString&) {
            return std::optional<QString>(folder.filePath(QStringLiteral("new.png")));
        };
        env.nowSecs = [] { return qint64(1700000000); };
        env.pollIntervalMs = 1;
        auto* view = new CloudStudioView(state, env, &window);
        view->open();
        if (!QTest::qWaitFor([view] { return !view->studio().models().isEmpty(); }, 10000))
            return fail("no catalogue");
        const bool ownKey = scenario == QStringLiteral("ownkey");
        view->studio().setHasOwnKey(ownKey);
        view->studio().generate(QStringLiteral("a lighthouse"), view->studio().models().first(),
                                std::nullopt, ownKey, {});
        if (!QTest::qWaitFor([view] { return view->studio().isBusy(); }, 10000))
            return fail("the sheet never became busy");
    }
    if (batch && !state.isRunning())
        return fail("the batch is not running");

    QTimer::singleShot(0, [&] {
        confirmWhenAsked();
        if (byClose)
            window.close();
        else
            delegate.quit();
    });
    return app.exec();
}
