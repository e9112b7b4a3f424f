#include "StudioFixture.h"
#include "cloud/APIKeyConnection.h"
#include "cloud/CloudEndpoints.h"

using namespace TestSupport;

// A keyring that never answers: the studio and the key check go on without it, each says so in
// the keyring's sentence within the bound, and none of them waits for it on the GUI thread. The
// calls still waiting for their turn then never run, so nothing reported as failed happens later.
TEST_F(StudioTest, AKeyringThatNeverAnswersIsBoundedAndNeverAwaitedInTheWindow)
{
    SilentKeyring silent;
    const QString noAnswer = u"Reading from the keyring failed: the keyring did not answer."_qs;
    server.reply("GET", "/api/models", HttpReply::json(200, R"({"models":[]})"));

    CloudStudio studio(environment());
    EXPECT_TRUE(studio.isReadingKey());
    APIKeyConnection connection;
    bool removed = false;
    connection.remove([&] { removed = true; });

    ASSERT_TRUE(loaded(studio, 10000));
    EXPECT_EQ(studio.message(), noAnswer);
    EXPECT_FALSE(studio.isReadingKey());
    EXPECT_FALSE(studio.hasOwnKey());
    EXPECT_TRUE(server.requests("GET", u"/api/models"_qs).isEmpty()) << "never without a token";

    // Own-key generation says the keyring is silent rather than that no key is stored.
    choice = pathIn(u"own.png"_qs);
    studio.generate(u"a fox"_qs, model(), std::nullopt, true, {});
    waitIdle(studio);
    EXPECT_EQ(studio.message(), noAnswer);

    ASSERT_TRUE(QTest::qWaitFor([&] { return removed; }, 10000));
    EXPECT_EQ(connection.message(), u"Keyring couldn\u2019t remove the key. Try again."_qs);
    EXPECT_FALSE(connection.saved());
    EXPECT_FALSE(connection.reading());

    // The first call is still running; the late answer changes nothing.
    silent.store->release();
    QTest::qWait(100);
    EXPECT_EQ(silent.store->calls(), 1);
    EXPECT_EQ(silent.store->callsOnGuiThread(), 0);
    EXPECT_EQ(studio.message(), noAnswer);
    EXPECT_FALSE(studio.hasOwnKey());
    EXPECT_FALSE(connection.saved());
}

// The key check's save is the keyring's sentence once the bound has passed.
TEST_F(StudioTest, AnAcceptedKeyTheKeyringNeverTakesIsReportedUnsaved)
{
    SilentKeyring silent(300);
    server.reply("GET", "/v1/models", HttpReply::json(200, R"({"data":[]})"));
    CloudEndpoints::setXaiApi(QUrl(server.base()));
    APIKeyConnection connection;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !connection.reading(); }, 5000));
    std::optional<bool> stored;
    connection.connect(u"xai-"_qs + QString(40, u'K'), [&](bool result) { stored = result; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return stored.has_value(); }, 5000));
    EXPECT_FALSE(*stored);
    EXPECT_EQ(connection.message(),
              u"Saving the key to the keyring failed: the keyring did not answer."_qs);
    EXPECT_FALSE(connection.busy());
    EXPECT_FALSE(connection.succeeded());
    CloudEndpoints::setXaiApi(QUrl(u"https://api.x.ai"_qs));
}
