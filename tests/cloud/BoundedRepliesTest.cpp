#include "StudioFixture.h"
#include "cloud/APIKeyConnection.h"
#include "cloud/CloudEndpoints.h"
#include "cloud/HttpExchange.h"

using namespace TestSupport;

namespace {

const QString tooLarge = QString::fromLatin1(HttpExchange::tooLargeText);

// One service request, answered.
Result<QByteArray> ask(ServiceClient& service, const QString& path)
{
    std::optional<Result<QByteArray>> answer;
    QObject context;
    service.request(path, {{u"job_id"_qs, u"j"_qs}}, &context,
                    [&](const Result<QByteArray>& reply) { answer = reply; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 60000));
    return answer.value_or(Result<QByteArray>::failure(u"no answer"_qs));
}

} // namespace

TEST_F(StudioTest, EndlessServiceBodiesStopAtTheirCap)
{
    server.reply("POST", "/api/cloud/result",
                 HttpReply::endless(200, R"({"status":"running","padding":")"));
    const Result<QByteArray> endless = ask(service, u"api/cloud/result"_qs);
    EXPECT_FALSE(endless.isOk());
    EXPECT_EQ(endless.error(), tooLarge);
    EXPECT_LT(server.streamedBytes(), HttpReply::endlessLimit); // the client hung up

    // An announced length over the cap is refused at once, without waiting for the body.
    server.reset();
    HttpReply announced = HttpReply::json(200, R"({"status":"running")");
    announced.announcedLength = qint64(600) << 20;
    server.reply("POST", "/api/cloud/result", announced);
    EXPECT_EQ(ask(service, u"api/cloud/result"_qs).error(), tooLarge);

    // An error body is a sentence: one past the JSON cap is not parsed as an explanation.
    server.reset();
    server.reply(
        "POST", "/api/cloud/result",
        HttpReply::json(500, R"({"error":")" + QByteArray(HttpExchange::jsonLimit, 'e') + "\"}"));
    EXPECT_EQ(ask(service, u"api/cloud/result"_qs).error(), tooLarge);
}

TEST_F(StudioTest, EndlessCatalogueAndImageRepliesEndInTheSentence)
{
    auto studio = makeStudio();
    server.reply("GET", "/api/models", HttpReply::endless(200, R"({"models":[)"));
    ASSERT_TRUE(loaded(*studio, 60000));
    EXPECT_EQ(studio->message(), tooLarge);
    EXPECT_TRUE(studio->models().isEmpty());
    EXPECT_LT(server.streamedBytes(), HttpReply::endlessLimit);

    storeKey("xai-" + QByteArray(40, 'K'));
    server.reply("POST", "/v1/images/generations",
                 HttpReply::endless(200, R"({"data":[{"b64_json":")"));
    choice = pathIn(u"endless.png"_qs);
    studio->setHasOwnKey(true);
    studio->generate(u"a fox"_qs, model(), std::nullopt, true, {});
    waitIdle(*studio);
    EXPECT_EQ(studio->message(), tooLarge);
    EXPECT_FALSE(QFileInfo::exists(*choice));
}

TEST_F(StudioTest, EndlessModelListLeavesTheKeyUnstored)
{
    CloudEndpoints::setXaiApi(QUrl(server.base()));
    server.reply("GET", "/v1/models", HttpReply::endless(200, R"({"data":[)"));
    APIKeyConnection connection;
    std::optional<bool> stored;
    connection.connect(u"xai-"_qs + QString(40, u'Q'), [&](bool result) { stored = result; });
    const bool answered = QTest::qWaitFor([&] { return stored.has_value(); }, 60000);
    CloudEndpoints::setXaiApi(QUrl(u"https://api.x.ai"_qs));
    ASSERT_TRUE(answered);
    EXPECT_FALSE(*stored);
    EXPECT_EQ(connection.message(), u"xAI returned an unexpected response. Try again shortly. "
                                    "Your previous key is unchanged."_qs);
    EXPECT_FALSE(storedKey().has_value());
}
