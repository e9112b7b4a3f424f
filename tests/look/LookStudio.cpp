#include "Look.h"
#include "SlowKeyring.h"

#include "cloud/CloudStudio.h"
#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "cloud/ServiceClient.h"
#include "store/AppState.h"
#include "support/LoopbackHttpServer.h"
#include "ui/kit/AquaButton.h"
#include "ui/kit/SegmentedControl.h"
#include "ui/studio/CloudStudioView.h"
#include "ui/studio/KeySheet.h"

#include <QBuffer>
#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

using TestSupport::HttpReply;

struct Stage {
    QTemporaryDir folder;
    TestSupport::LoopbackHttpServer server;
    QNetworkAccessManager network;
    ServiceClient service{QUrl(server.base()), &network};
    QSettings settings{folder.filePath("studio.ini"), QSettings::IniFormat};
    AppState state{std::make_unique<QSettings>(folder.filePath("app.ini"), QSettings::IniFormat)};
};

Stage& stage()
{
    static Stage* shared = [] {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        return new Stage;
    }();
    return *shared;
}

const QByteArray catalog = R"({"models":[
    {"id":"grok-1k-low","name":"Grok Imagine · 1K","provider":"xAI","credits":4,"available":true,"resolution":"1k","quality":"low"},
    {"id":"grok-2k-high","name":"Grok Imagine · 2K high","provider":"xAI","credits":12,"available":false,"resolution":"2k","quality":"high"}]})";

// A sheet over a fresh stage: the catalogue `models`, a keyring holding a key when `withKey`,
// one queued and selected image.
CloudStudioView* sheet(const QByteArray& models, bool withKey,
                       std::shared_ptr<SecretStore> keyring = {})
{
    Stage& s = stage();
    KeychainStore::setStore(keyring ? keyring : std::make_shared<InMemorySecretStore>());
    if (withKey)
        KeychainStore::save("xai-0123456789abcdefghijklmnop", QStringLiteral("provider.xai"));
    s.server.reset();
    s.server.reply("GET", QStringLiteral("/api/models"), HttpReply::json(200, models));
    Item item;
    item.id = QUuid::createUuid();
    item.path = s.folder.filePath(QStringLiteral("harbour at dusk.jpg"));
    s.state.setItems({item});
    s.state.setSelection(item.id);
    s.settings.clear();
    CloudStudio::Environment environment;
    environment.network = &s.network;
    environment.service = &s.service;
    environment.xaiBase = QUrl(s.server.base());
    environment.settings = &s.settings;
    environment.chooseNewPngFile = [](const QString&, const QString&) {
        return std::optional<QString>(stage().folder.filePath(QStringLiteral("lighthouse.png")));
    };
    environment.nowSecs = [] { return qint64(1700000000); };
    auto* view = new CloudStudioView(s.state, environment);
    view->setAttribute(Qt::WA_DeleteOnClose, false);
    return view;
}

CloudStudioView* studioOf(QWidget* widget)
{
    return static_cast<CloudStudioView*>(widget);
}

void loaded(QWidget* widget)
{
    CloudStudioView* view = studioOf(widget);
    (void)QTest::qWaitFor([view] { return !view->studio().isReadingKey(); }, 6000);
    QTest::qWait(200);
    widget->adjustSize();
}

void ownKeyWithReference(QWidget* widget)
{
    CloudStudioView* view = studioOf(widget);
    loaded(view);
    view->routePicker()->activated(1);
    view->promptEditor()->setPlainText(
        QStringLiteral("A lighthouse on a cliff at dawn, oil paint"));
    view->referenceToggle()->setChecked(true);
    QTest::qWait(50);
    view->adjustSize();
}

void waitingForKeyring(QWidget* widget)
{
    QTest::qWait(600);
    widget->adjustSize();
}

void busy(QWidget* widget)
{
    CloudStudioView* view = studioOf(widget);
    loaded(view);
    stage().server.reply("POST", QStringLiteral("/api/cloud/generate"), HttpReply::stall());
    view->promptEditor()->setPlainText(QStringLiteral("A lighthouse on a cliff at dawn"));
    view->generateButton()->click();
    (void)QTest::qWaitFor([view] { return view->studio().isBusy(); }, 5000);
    QTest::qWait(100);
    view->adjustSize();
}

void saved(QWidget* widget)
{
    CloudStudioView* view = studioOf(widget);
    loaded(view);
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    QFile::remove(stage().folder.filePath(QStringLiteral("lighthouse.png")));
    stage().server.reply(
        "POST", QStringLiteral("/v1/images/generations"),
        HttpReply::json(200, "{\"data\":[{\"b64_json\":\"" + png.toBase64() + "\"}]}"));
    view->routePicker()->activated(1);
    view->promptEditor()->setPlainText(QStringLiteral("A lighthouse on a cliff at dawn"));
    view->generateButton()->click();
    (void)QTest::qWaitFor([view] { return !view->showInFolderButton()->isHidden(); }, 5000);
    QTest::qWait(50);
    view->adjustSize();
}

// A refusal by the service whose text is `error`.
void refused(QWidget* widget, const QString& error)
{
    CloudStudioView* view = studioOf(widget);
    loaded(view);
    QFile::remove(stage().folder.filePath(QStringLiteral("lighthouse.png")));
    stage().server.reply(
        "POST", QStringLiteral("/api/cloud/generate"),
        HttpReply::json(500, QJsonDocument(QJsonObject{{QStringLiteral("error"), error}})
                                 .toJson(QJsonDocument::Compact)));
    view->promptEditor()->setPlainText(QStringLiteral("A lighthouse on a cliff at dawn"));
    view->generateButton()->click();
    (void)QTest::qWaitFor([view, error] { return view->studio().message() == error; }, 20000);
    QTest::qWait(100);
    view->adjustSize();
}

QString longError()
{
    return QStringLiteral(
        "The provider could not complete this image because the request was flagged by an "
        "automated review of <b>prompts</b> and reference images; nothing was charged. Change "
        "the wording of the prompt, remove the reference image or pick another model, then try "
        "again. If this keeps happening, the service's status page lists known problems with "
        "each provider and when they are expected to end.");
}

QString hugeError()
{
    QString text;
    for (int i = 0; text.size() < (2 << 20); ++i)
        text += QStringLiteral("Upstream error ") + QString::number(i) + QStringLiteral(": ");
    return text;
}

const Look::Registration states{{
    {QStringLiteral("studio-empty-catalogue"),
     [] { return sheet(R"({"models":[]})", false); },
     {},
     loaded},
    {QStringLiteral("studio-service"), [] { return sheet(catalog, false); }, {}, loaded},
    {QStringLiteral("studio-own-key"),
     [] { return sheet(catalog, true); },
     {},
     ownKeyWithReference},
    {QStringLiteral("studio-busy"), [] { return sheet(catalog, false); }, {}, busy},
    {QStringLiteral("studio-waiting-keyring"),
     [] { return sheet(catalog, false, std::make_shared<Look::SlowKeyring>()); },
     {},
     waitingForKeyring},
    {QStringLiteral("studio-own-key-waiting-keyring"),
     [] { return sheet(catalog, false, std::make_shared<Look::SlowKeyring>()); },
     {},
     [](QWidget* widget) {
         studioOf(widget)->routePicker()->activated(1);
         waitingForKeyring(widget);
     }},
    {QStringLiteral("studio-own-key-keyring-silent"),
     [] {
         std::shared_ptr<SecretStore> keyring;
         Look::beginSilence(keyring);
         return sheet(catalog, false, keyring);
     },
     {},
     [](QWidget* widget) {
         studioOf(widget)->routePicker()->activated(1);
         loaded(widget);
         Look::endSilence();
     }},
    {QStringLiteral("studio-saved"), [] { return sheet(catalog, true); }, {}, saved},
    {QStringLiteral("studio-long-status"),
     [] { return sheet(catalog, false); },
     {},
     [](QWidget* widget) { refused(widget, longError()); }},
    {QStringLiteral("studio-huge-error"),
     [] { return sheet(catalog, false); },
     {},
     [](QWidget* widget) { refused(widget, hugeError()); }},
    {QStringLiteral("studio-key-sheet"),
     [] {
         KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
         return new KeySheet;
     }},
}};

} // namespace
