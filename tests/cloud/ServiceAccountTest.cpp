#include "cloud/ServiceAccount.h"
#include "StudioFixture.h"
#include "TestSupport.h"
#include "cloud/LibsecretStore.h"

using namespace TestSupport;

namespace {

const QString serviceName = u"com.vandelorn.tolvane.pro"_qs;
const QString accountName = u"service.account"_qs;

} // namespace

TEST_F(StudioTest, EveryServiceJobCallCarriesTheAccountTokenAndNothingElseDoes)
{
    server.reply("GET", "/api/models", HttpReply::json(200, R"({"models":[]})"));
    server.reply("POST", "/api/cloud/generate", HttpReply::json(200, R"({"status":"queued"})"));
    server.reply("POST", "/api/cloud/result", HttpReply::json(200, R"({"status":"failed"})"));
    server.reply("POST", "/v1/images/generations", HttpReply::json(500, "{}"));
    auto studio = makeStudio();
    ASSERT_TRUE(loaded(*studio));
    choice = pathIn(u"service.png"_qs);
    studio->generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(*studio);

    const std::optional<QByteArray> stored = keyring->value(serviceName, accountName);
    ASSERT_TRUE(stored.has_value());
    const QString token = QString::fromLatin1(*stored);
    EXPECT_TRUE(ServiceAccount::isToken(token)) << token.toStdString();
    EXPECT_EQ(QByteArray::fromBase64(*stored, QByteArray::Base64UrlEncoding).size(), 32);
    const QList<HttpRequest> service = server.requests();
    ASSERT_EQ(service.size(), 3); // catalogue, generate, result
    EXPECT_FALSE(service[0].hasHeader("Authorization")) << "the catalogue is public";
    for (const HttpRequest& request : service.mid(1))
        EXPECT_EQ(request.header("Authorization"), "Bearer " + *stored)
            << request.path.toStdString();
    EXPECT_EQ(keyring->writeCount(), 1); // made once

    // The user's own key goes to xAI; the account token does not.
    server.reset();
    server.reply("POST", "/v1/images/generations", HttpReply::json(500, "{}"));
    storeKey("xai-" + QByteArray(40, 'K'));
    choice = pathIn(u"own.png"_qs);
    studio->setHasOwnKey(true);
    studio->generate(u"a fox"_qs, model(), std::nullopt, true, {});
    waitIdle(*studio);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0].header("Authorization"), "Bearer xai-" + QByteArray(40, 'K'));

    settings->sync();
    EXPECT_FALSE(readBytes(settings->fileName()).contains(*stored));
}

TEST_F(StudioTest, AStoredTokenIsKeptAndAKeyringFailureIsTheKeyringsSentence)
{
    const QByteArray kept = QByteArray(43, 'A');
    keyring->store(serviceName, accountName, kept);
    server.reply("POST", "/api/cloud/generate", HttpReply::json(500, "{}"));
    {
        auto studio = makeStudio();
        choice = pathIn(u"kept.png"_qs);
        studio->generate(u"a fox"_qs, model(), std::nullopt, false, {});
        waitIdle(*studio);
        EXPECT_EQ(server.requests().value(0).header("Authorization"), "Bearer " + kept);
    }

    // A value that cannot be a token is replaced by a new one.
    keyring->store(serviceName, accountName, "not a token");
    EXPECT_TRUE(ServiceAccount::isToken(ServiceAccount::token()));
    EXPECT_NE(keyring->value(serviceName, accountName), "not a token");

    // With no token and a keyring that refuses, nothing is sent.
    keyring->remove(serviceName, accountName);
    keyring->failStore = u"The collection is locked."_qs;
    ServiceClient fresh(QUrl(server.base()), &network);
    CloudStudio::Environment env = environment();
    env.service = &fresh;
    CloudStudio studio(env);
    choice = pathIn(u"locked.png"_qs);
    server.reset();
    studio.generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(studio);
    EXPECT_EQ(studio.message(),
              u"Saving the key to the keyring failed: The collection is locked."_qs);
    keyring->failStore.reset();
    keyring->failLookup = u"No such secret collection"_qs;
    choice = pathIn(u"unread.png"_qs);
    studio.generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(studio);
    EXPECT_EQ(studio.message(), u"Reading from the keyring failed: No such secret collection."_qs);
    QTest::qWait(20);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_FALSE(keyring->value(serviceName, accountName).has_value());
}

TEST_F(StudioTest, ServiceRequestsStayWithinTheServiceOrigin)
{
    LoopbackHttpServer elsewhere;
    elsewhere.setFallback(HttpReply::json(200, R"({"status":"completed"})"));
    server.reply("POST", "/api/cloud/generate",
                 HttpReply::redirect(307, elsewhere.url(u"/api/cloud/generate"_qs).toEncoded()));
    choice = pathIn(u"redirected.png"_qs);
    auto studio = makeStudio();
    studio->generate(u"a secret prompt"_qs, model(), std::nullopt, false, {});
    waitIdle(*studio);
    QTest::qWait(50);
    EXPECT_EQ(elsewhere.requestCount(), 0);
    EXPECT_EQ(studio->message(), ServiceClient::fallbackMessage);

    // The catalogue's redirect is followed; it carries no token.
    server.reset();
    server.reply("GET", "/api/models",
                 HttpReply::redirect(307, server.url(u"/v2/models"_qs).toEncoded()));
    server.reply("GET", "/v2/models", HttpReply::json(200, R"({"models":[]})"));
    ASSERT_TRUE(loaded(*studio));
    ASSERT_EQ(server.requests("GET", u"/v2/models"_qs).size(), 1);
    EXPECT_FALSE(server.requests("GET", u"/v2/models"_qs)[0].hasHeader("Authorization"));
}

// Against a real gnome-keyring on a private bus: only under tools/with-keyring.
TEST(KeyringServiceAccount, IsMadeOnceAndKept)
{
    if (qgetenv("TOLVANE_TEST_KEYRING") != "1")
        GTEST_SKIP() << "runs only under tools/with-keyring";
    const auto store = std::make_shared<LibsecretStore>();
    KeychainStore::setStore(store);
    store->remove(serviceName, accountName);
    const QString first = ServiceAccount::token();
    EXPECT_TRUE(ServiceAccount::isToken(first));
    EXPECT_EQ(ServiceAccount::token(), first);
    EXPECT_EQ(store->lookup(serviceName, accountName).value, first.toLatin1());
    store->remove(serviceName, accountName);
    EXPECT_NE(ServiceAccount::token(), first);
    store->remove(serviceName, accountName);
    KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
}
