#include "cloud/APIKeyConnection.h"
#include "CloudTestSupport.h"
#include "cloud/CloudEndpoints.h"
#include "support/LoopbackHttpServer.h"

#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {

const QString key = u"xai-"_qs + QString(40, u'Q');
const QString unchanged = u"Your previous key is unchanged."_qs;

class APIKeyConnectionTest : public MemoryKeyringTest {
protected:
    void SetUp() override
    {
        MemoryKeyringTest::SetUp();
        CloudEndpoints::setXaiApi(QUrl(server.base()));
    }
    void TearDown() override
    {
        CloudEndpoints::setXaiApi(QUrl(u"https://api.x.ai"_qs));
        MemoryKeyringTest::TearDown();
    }

    // Runs one check against `reply` and returns its result.
    bool check(APIKeyConnection& connection, const HttpReply& reply, const QString& typed = key)
    {
        server.reset();
        server.reply("GET", "/v1/models", reply);
        std::optional<bool> result;
        connection.connect(typed, [&](bool stored) { result = stored; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
        EXPECT_FALSE(connection.busy());
        return result.value_or(false);
    }

    // Waits until the keyring has said whether a key is stored.
    static void answered(const APIKeyConnection& connection)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !connection.reading(); }, 5000));
    }

    static bool savedOnOpening()
    {
        APIKeyConnection connection;
        answered(connection);
        return connection.saved();
    }

    // Removes the key and waits for the outcome.
    static void remove(APIKeyConnection& connection)
    {
        bool removed = false;
        connection.remove([&] { removed = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return removed; }, 5000));
    }

    void storePrevious()
    {
        keyring->store(u"com.vandelorn.tolvane.pro"_qs, u"provider.xai"_qs, "xai-previous");
    }

    LoopbackHttpServer server;
};

} // namespace

TEST_F(APIKeyConnectionTest, AcceptedKeyIsStoredTrimmedAndSentAsBearer)
{
    APIKeyConnection connection;
    EXPECT_FALSE(connection.saved());
    QSignalSpy busy(&connection, &APIKeyConnection::busyChanged);
    const bool stored = check(connection, HttpReply::json(200, R"({"data":[{"id":"grok-3"},
                                  {"id":"grok-imagine-image-2.0","owned_by":"xai"}]})"),
                              u"  "_qs + key + u"\n"_qs);
    EXPECT_TRUE(stored);
    EXPECT_EQ(storedKey(), key.toUtf8());
    EXPECT_TRUE(connection.saved());
    EXPECT_TRUE(connection.succeeded());
    EXPECT_TRUE(connection.message().startsWith(
        u"Connected. Your key is stored in this computer\u2019s keyring."_qs));
    EXPECT_EQ(busy.count(), 2);

    const QList<HttpRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer " + key.toUtf8());
    EXPECT_TRUE(requests[0].body.isEmpty());
    EXPECT_FALSE(requests[0].hasHeader("Cookie"));
}

TEST_F(APIKeyConnectionTest, ModelListShapes)
{
    APIKeyConnection connection;
    const QString connected = u"Connected."_qs;
    const QString checkAccess =
        u"Key verified and saved. Check that your xAI team has access to Grok Imagine 2.0 before generating."_qs;
    EXPECT_TRUE(check(
        connection,
        HttpReply::json(
            200, R"({"data":[{"id":"grok-2-image","aliases":["grok-imagine-image-2.0"]}]})")));
    EXPECT_TRUE(connection.message().startsWith(connected));
    EXPECT_TRUE(
        check(connection, HttpReply::json(200, R"({"data":[{"id":"grok-3","aliases":null}]})")));
    EXPECT_EQ(connection.message(), checkAccess);
    EXPECT_TRUE(check(connection, HttpReply::json(200, R"({"data":[]})")));
    EXPECT_EQ(connection.message(), checkAccess);

    const QString unexpected =
        u"xAI returned an unexpected response. Try again shortly. Your previous key is unchanged."_qs;
    for (const QByteArray body : {R"({})", R"({"data":[{"name":"x"}]})", R"({"data":[{"id":5}]})",
                                  R"({"data":[{"id":"a","aliases":[3]}]})", R"([])", "<html>",
                                  // the image model first, then a malformed entry or alias
                                  R"({"data":[{"id":"grok-imagine-image-2.0"},{"id":5}]})",
                                  R"({"data":[{"id":"grok-imagine-image-2.0"},{"name":"x"}]})",
                                  R"({"data":[{"id":"grok-imagine-image-2.0","aliases":[3]}]})"}) {
        keyring->failStore = u"must not store"_qs;
        EXPECT_FALSE(check(connection, HttpReply::json(200, body))) << body.constData();
        EXPECT_EQ(connection.message(), unexpected);
        EXPECT_FALSE(connection.succeeded());
        EXPECT_TRUE(connection.saved()); // stored by the earlier checks and still there
    }
}

TEST_F(APIKeyConnectionTest, RefusalsKeepTheStoredKey)
{
    storePrevious();
    APIKeyConnection connection;
    answered(connection);
    EXPECT_TRUE(connection.saved());
    const QList<std::pair<int, QString>> cases{
        {401,
         u"xAI did not accept this key. Copy a fresh API key from the xAI console and try again."_qs},
        {403,
         u"This key does not have permission. Check your xAI team and enable image-model access in the console."_qs},
        {429,
         u"xAI is limiting requests. Check your API balance and limits, then try again shortly."_qs},
        {500,
         u"xAI is temporarily unavailable (500). Try again shortly. Your previous key is unchanged."_qs},
        {201,
         u"xAI is temporarily unavailable (201). Try again shortly. Your previous key is unchanged."_qs},
    };
    for (const auto& [status, text] : cases) {
        EXPECT_FALSE(check(connection, HttpReply::json(status, R"({"data":[]})")));
        EXPECT_EQ(connection.message(), text);
        EXPECT_FALSE(connection.succeeded());
        EXPECT_TRUE(connection.saved());
        EXPECT_EQ(storedKey(), "xai-previous");
    }
    EXPECT_FALSE(check(connection, HttpReply::close()));
    EXPECT_EQ(
        connection.message(),
        u"Couldn\u2019t verify the connection. Check your internet connection and try again. Your previous key is unchanged."_qs);
    EXPECT_EQ(storedKey(), "xai-previous");
    EXPECT_EQ(keyring->writeCount(), 1); // only the key stored before
}

TEST_F(APIKeyConnectionTest, MalformedKeySendsNothing)
{
    APIKeyConnection connection;
    QSignalSpy busy(&connection, &APIKeyConnection::busyChanged);
    std::optional<bool> result;
    connection.connect(u"xai-"_qs + QString(16, u'a'), [&](bool stored) { result = stored; });
    EXPECT_EQ(result, false);
    EXPECT_EQ(
        connection.message(),
        u"xAI keys start with xai-. Paste the complete API key, without spaces. A Grok sign-in or subscription is not an API key."_qs);
    EXPECT_EQ(busy.count(), 0);
    QTest::qWait(50);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(APIKeyConnectionTest, SucceededFallsBackAfterALaterFailure)
{
    APIKeyConnection connection;
    EXPECT_TRUE(check(connection, HttpReply::json(200, R"({"data":[]})")));
    EXPECT_TRUE(connection.succeeded());
    EXPECT_FALSE(check(connection, HttpReply::json(401, "")));
    EXPECT_FALSE(connection.succeeded());
    EXPECT_TRUE(connection.saved());
    connection.connect(u"short"_qs);
    EXPECT_FALSE(connection.succeeded());
}

TEST_F(APIKeyConnectionTest, KeyringFailureAfterAcceptanceShowsTheKeyringSentence)
{
    APIKeyConnection connection;
    keyring->failStore = u"Cannot create an item in a locked collection"_qs;
    EXPECT_FALSE(check(connection, HttpReply::json(200, R"({"data":[]})")));
    EXPECT_EQ(
        connection.message(),
        u"Saving the key to the keyring failed: Cannot create an item in a locked collection."_qs);
    EXPECT_FALSE(connection.saved());
    EXPECT_FALSE(connection.succeeded());
}

TEST_F(APIKeyConnectionTest, KeyNeverFollowsARedirectToAnotherHost)
{
    LoopbackHttpServer elsewhere;
    elsewhere.reply("GET", "/v1/models", HttpReply::json(200, R"({"data":[]})"));
    APIKeyConnection connection;
    EXPECT_FALSE(
        check(connection, HttpReply::redirect(302, elsewhere.url(u"/v1/models"_qs).toEncoded())));
    QTest::qWait(50);
    EXPECT_EQ(elsewhere.requestCount(), 0);
    EXPECT_FALSE(storedKey().has_value());
    EXPECT_TRUE(connection.message().endsWith(unchanged));
}

TEST_F(APIKeyConnectionTest, ACheckOutlivingItsOwnerStillStores)
{
    HttpReply late = HttpReply::json(200, R"({"data":[]})");
    late.delayMs = 150;
    server.reply("GET", "/v1/models", late);
    bool called = false;
    {
        APIKeyConnection connection;
        connection.connect(key, [&](bool) { called = true; });
        ASSERT_TRUE(server.waitForRequests(1));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return storedKey().has_value(); }, 5000));
    EXPECT_EQ(storedKey(), key.toUtf8());
    EXPECT_FALSE(called);
}

TEST_F(APIKeyConnectionTest, RemoveReportsAndKeepsStateOnFailure)
{
    storePrevious();
    APIKeyConnection connection;
    answered(connection);
    keyring->failRemove = u"Locked"_qs;
    remove(connection);
    EXPECT_EQ(connection.message(), u"Keyring couldn\u2019t remove the key. Try again."_qs);
    EXPECT_TRUE(connection.saved());
    EXPECT_FALSE(connection.succeeded());
    EXPECT_TRUE(storedKey().has_value());

    keyring->failRemove.reset();
    remove(connection);
    remove(connection); // nothing stored any more: still removed
    EXPECT_EQ(connection.message(), u"Your xAI key was removed from this computer."_qs);
    EXPECT_FALSE(connection.saved());
    EXPECT_TRUE(connection.succeeded());
    EXPECT_FALSE(storedKey().has_value());
}

TEST_F(APIKeyConnectionTest, StoredBytesThatAreNotUtf8CountAsNoKey)
{
    keyring->store(u"com.vandelorn.tolvane.pro"_qs, u"provider.xai"_qs, "\xFF\xFE");
    EXPECT_FALSE(savedOnOpening());
    keyring->store(u"com.vandelorn.tolvane.pro"_qs, u"provider.xai"_qs, "");
    EXPECT_TRUE(savedOnOpening());
}

TEST_F(APIKeyConnectionTest, AKeyWithAControlCharacterIsNeverStoredOrConnected)
{
    server.reply("GET", "/v1/models", HttpReply::json(200, R"({"data":[]})"));
    APIKeyConnection connection;
    for (const QString& typed : {key + u"\x01"_qs, u"xai-abc\x1B"_qs + QString(30, u'k'),
                                 key + u"\x7F"_qs, key + u"\u009B"_qs}) {
        std::optional<bool> stored;
        connection.connect(typed, [&](bool result) { stored = result; });
        ASSERT_TRUE(stored.has_value());
        EXPECT_FALSE(*stored);
        EXPECT_TRUE(connection.message().startsWith(u"xAI keys start with xai-."_qs));
        EXPECT_FALSE(connection.saved());
    }
    QTest::qWait(20);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_FALSE(storedKey().has_value());

    // One stored some other way counts as no key, as it does for the studio.
    keyring->store(u"com.vandelorn.tolvane.pro"_qs, u"provider.xai"_qs,
                   (key + u"\x01"_qs).toUtf8());
    EXPECT_FALSE(savedOnOpening());
}
