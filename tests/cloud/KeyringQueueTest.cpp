#include "StudioFixture.h"
#include "cloud/APIKeyConnection.h"
#include "cloud/CloudEndpoints.h"

using namespace TestSupport;

// A keyring that never answers: the studio and the key check go on without it, each says so in
// the keyring's sentence within the bound, and none of them waits for it on the GUI thread. The
// calls still waiting for their turn then never run; the one running is asked again once it ends.
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

    ASSERT_TRUE(QTest::qWaitFor([&] { return !studio.isReadingKey(); }, 10000));
    EXPECT_EQ(studio.message(), noAnswer);
    EXPECT_TRUE(studio.isKeyUnread()) << "unread, not absent";
    EXPECT_FALSE(studio.hasOwnKey());

    // Own-key generation says the keyring is silent rather than that no key is stored.
    choice = pathIn(u"own.png"_qs);
    studio.generate(u"a fox"_qs, model(), std::nullopt, true, {});
    waitIdle(studio);
    EXPECT_EQ(studio.message(), noAnswer);

    ASSERT_TRUE(QTest::qWaitFor([&] { return removed; }, 10000));
    EXPECT_EQ(connection.message(), u"The keyring has not answered yet. This shows whether the "
                                     "key was removed once it answers."_qs);
    EXPECT_FALSE(connection.saved());
    EXPECT_FALSE(connection.reading());

    // The calls end at last (the dropped ones too): each caller reads again and shows the answer.
    silent.store->release();
    const QString failed = u"Reading from the keyring failed: Did not receive a reply."_qs;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return studio.message() == failed && connection.message() == failed; }, 5000));
    EXPECT_EQ(silent.store->callsOnGuiThread(), 0);
    EXPECT_FALSE(studio.hasOwnKey());
    EXPECT_TRUE(connection.unread());
    EXPECT_FALSE(connection.saved());
}

// A keyring that answers after its bound: the views first say it has not answered (never that
// there is no key, never that a save or removal failed), then show what it really holds.
TEST_F(StudioTest, AKeyringThatAnswersLateEndsInWhatItHolds)
{
    const QByteArray old = "xai-" + QByteArray(30, 'o');
    const QString fresh = u"xai-"_qs + QString(40, u'N');
    storeKey(old);
    SilentKeyring late(300, keyring);
    server.reply("GET", "/v1/models",
                 HttpReply::json(200, R"({"data":[{"id":"grok-imagine-image-2.0"}]})"));
    CloudEndpoints::setXaiApi(QUrl(server.base()));

    // Reading.
    APIKeyConnection connection;
    CloudStudio studio(environment());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !connection.reading(); }, 5000));
    EXPECT_TRUE(connection.unread());
    EXPECT_EQ(connection.message(),
              u"Reading from the keyring failed: the keyring did not answer."_qs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return studio.isKeyUnread(); }, 5000));
    late.store->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return connection.saved() && studio.hasOwnKey(); }, 5000));
    EXPECT_FALSE(connection.unread());
    EXPECT_TRUE(connection.message().isNull());
    EXPECT_FALSE(studio.isKeyUnread());
    EXPECT_TRUE(studio.message().isNull());

    // Saving: the old key stays shown until the new one is known to be stored.
    late.store->hold();
    std::optional<bool> stored;
    connection.connect(fresh, [&](bool result) { stored = result; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return stored.has_value(); }, 5000));
    EXPECT_FALSE(*stored);
    EXPECT_EQ(connection.message(), u"xAI accepted the key, but the keyring has not answered yet. "
                                     "This shows what it stores once it answers."_qs);
    EXPECT_TRUE(connection.saved());
    EXPECT_FALSE(connection.succeeded());
    EXPECT_FALSE(connection.busy());
    late.store->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return connection.succeeded(); }, 5000));
    EXPECT_EQ(storedKey(), fresh.toUtf8());
    EXPECT_TRUE(connection.saved());
    EXPECT_TRUE(connection.message().startsWith(u"Connected."_qs));

    // Removing: the key stays shown until it is known to be gone.
    late.store->hold();
    bool answered = false;
    connection.remove([&] { answered = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 5000));
    EXPECT_TRUE(connection.saved());
    EXPECT_FALSE(connection.succeeded());
    EXPECT_TRUE(connection.message().startsWith(u"The keyring has not answered yet."_qs));
    late.store->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !connection.saved(); }, 5000));
    EXPECT_FALSE(storedKey().has_value());
    EXPECT_TRUE(connection.succeeded());
    EXPECT_EQ(connection.message(), u"Your xAI key was removed from this computer."_qs);
    EXPECT_EQ(late.store->callsOnGuiThread(), 0);
    CloudEndpoints::setXaiApi(QUrl(u"https://api.x.ai"_qs));
}

// An accepted key the keyring does not take in time is not claimed as saved, nor as failed.
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
    EXPECT_EQ(connection.message(), u"xAI accepted the key, but the keyring has not answered yet. "
                                     "This shows what it stores once it answers."_qs);
    EXPECT_FALSE(connection.saved());
    EXPECT_FALSE(connection.busy());
    EXPECT_FALSE(connection.succeeded());
    CloudEndpoints::setXaiApi(QUrl(u"https://api.x.ai"_qs));
}
