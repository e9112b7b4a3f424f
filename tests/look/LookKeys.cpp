#include "Look.h"
#include "SlowKeyring.h"

#include "cloud/APIKeyConnection.h"
#include "cloud/CloudEndpoints.h"
#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "support/LoopbackHttpServer.h"
#include "ui/kit/AquaButton.h"
#include "ui/studio/APIKeysView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace {

using TestSupport::HttpReply;

// A stand-in for xAI on this machine, answering every model list with `reply`.
void serveModels(const HttpReply& reply)
{
    static TestSupport::LoopbackHttpServer server;
    server.reset();
    server.reply("GET", QStringLiteral("/v1/models"), reply);
    CloudEndpoints::setXaiApi(server.url());
}

// A fresh keyring in memory, holding a key when `withKey`.
APIKeysView* keysView(bool withKey)
{
    KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
    if (withKey)
        KeychainStore::save("xai-0123456789abcdefghijklmnop", QStringLiteral("provider.xai"));
    return new APIKeysView;
}

// Once the keyring has said whether a key is stored.
void answered(QWidget* widget)
{
    auto* view = static_cast<APIKeysView*>(widget);
    (void)QTest::qWaitFor([view] { return !view->connection().reading(); }, 5000);
}

void verify(QWidget* widget, const QString& key)
{
    answered(widget);
    auto* view = static_cast<APIKeysView*>(widget);
    view->keyField()->setText(key);
    view->verifyButton()->click();
}

void verifyAndWait(QWidget* widget, const QString& key)
{
    verify(widget, key);
    auto* view = static_cast<APIKeysView*>(widget);
    (void)QTest::qWaitFor([view] { return !view->connection().busy(); }, 5000);
    QTest::qWait(50); // the new status line lays itself out
}

const Look::Registration states{{
    {QStringLiteral("keys-no-key"), [] { return keysView(false); }, {}, answered},
    {QStringLiteral("keys-checking-keyring"),
     [] {
         KeychainStore::setStore(std::make_shared<Look::SlowKeyring>());
         return new APIKeysView;
     },
     {},
     [](QWidget*) { QTest::qWait(600); }},
    {QStringLiteral("keys-keyring-silent"),
     [] {
         std::shared_ptr<SecretStore> keyring;
         Look::beginSilence(keyring);
         KeychainStore::setStore(keyring);
         return new APIKeysView;
     },
     {},
     [](QWidget* widget) {
         answered(widget);
         QTest::qWait(50);
         Look::endSilence();
     }},
    {QStringLiteral("keys-verifying"),
     [] {
         serveModels(HttpReply::stall());
         return keysView(true);
     },
     {},
     [](QWidget* w) { verify(w, QStringLiteral("xai-0123456789abcdefghijklmnop")); }},
    {QStringLiteral("keys-saved"),
     [] {
         serveModels(HttpReply::json(200, R"({"data":[{"id":"grok-imagine-image-2.0"}]})"));
         return keysView(false);
     },
     {},
     [](QWidget* w) { verifyAndWait(w, QStringLiteral("xai-0123456789abcdefghijklmnop")); }},
    {QStringLiteral("keys-rejected"),
     [] {
         serveModels(HttpReply::json(401, "{}"));
         return keysView(false);
     },
     {},
     [](QWidget* w) { verifyAndWait(w, QStringLiteral("xai-0123456789abcdefghijklmnop")); }},
    {QStringLiteral("keys-malformed"),
     [] { return keysView(false); },
     {},
     [](QWidget* w) { verifyAndWait(w, QStringLiteral("my grok password")); }},
    {QStringLiteral("keys-coming-soon"),
     [] {
         APIKeysView* view = keysView(false);
         view->providerPicker()->setCurrentIndex(1);
         return view;
     },
     {},
     answered},
}};

} // namespace
