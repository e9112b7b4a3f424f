#include "StudioFixture.h"
#include "TestSupport.h"
#include "cloud/XaiImages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace TestSupport;

namespace {

const QByteArray key = "xai-" + QByteArray(40, 'K');

} // namespace

TEST_F(StudioTest, OwnKeyGeneratesAndSavesWithoutTheService)
{
    storeKey(key);
    server.reply("POST", "/v1/images/generations",
                 HttpReply::json(200, "{\"data\":[{" +
                                          imageJson("b64_json", opaqueFixture(40, 30), "jpeg") +
                                          "},{\"b64_json\":\"\"}]}"));
    choice = pathIn(u"mine.png"_qs);
    auto studio = makeStudio();
    EXPECT_TRUE(studio->hasOwnKey());
    studio->generate(u" a fox "_qs, model(), std::nullopt, true, {});
    waitIdle(*studio);
    EXPECT_EQ(studio->message(),
              u"Saved. This request was billed directly to your xAI account."_qs);
    EXPECT_EQ(studio->outputURL(), *choice);
    EXPECT_TRUE(readBytes(*choice).startsWith("\x89PNG"));
    EXPECT_EQ(QImage(*choice).size(), QSize(40, 30));

    const QList<HttpRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1); // no catalogue reload, no service
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer " + key);
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    const QJsonObject body = QJsonDocument::fromJson(requests[0].body).object();
    EXPECT_EQ(body, (QJsonObject{{"model", "grok-imagine-image-2.0"},
                                 {"prompt", " a fox "},
                                 {"n", 1},
                                 {"resolution", "1k"},
                                 {"quality", "low"},
                                 {"response_format", "b64_json"}}));
    EXPECT_TRUE(body.value("n").isDouble());
    ASSERT_EQ(network.made.size(), 1);
    EXPECT_EQ(network.made[0].transferTimeout(), 240000);
}

TEST_F(StudioTest, OwnKeyWithAReferenceUsesTheEditsPath)
{
    storeKey(key);
    const QString reference = pathIn(u"reference.png"_qs);
    ASSERT_TRUE(opaqueFixture(2048, 1024).save(reference));
    server.reply("POST", "/v1/images/edits",
                 HttpReply::json(200, "{\"data\":[{" +
                                          imageJson("b64_json", alphaFixture(), "png") + "}]}"));
    choice = pathIn(u"edited.png"_qs);
    auto studio = makeStudio();
    studio->generate(u"a fox"_qs, model(), reference, true, {reference});
    waitIdle(*studio);
    ASSERT_EQ(server.requests("POST", "/v1/images/edits").size(), 1)
        << studio->message().toStdString();
    const QJsonObject body = QJsonDocument::fromJson(server.requests().value(0).body).object();
    EXPECT_EQ(body.size(), 7);
    const QJsonObject image = body.value("image").toObject();
    EXPECT_EQ(image.value("type").toString(), u"image_url"_qs);
    const QString url = image.value("url").toString();
    ASSERT_TRUE(url.startsWith(u"data:image/png;base64,"_qs));
    const QImage sent = QImage::fromData(QByteArray::fromBase64(url.mid(22).toLatin1()), "png");
    EXPECT_EQ(sent.size(), QSize(1024, 512));
    EXPECT_TRUE(QFileInfo::exists(*choice));
}

TEST_F(StudioTest, OwnKeyFailuresGiveTheFixedText)
{
    storeKey(key);
    const QList<HttpReply> replies{
        HttpReply::json(201, R"({"data":[{"b64_json":"YWJj"}]})"),
        HttpReply::json(401, R"({"error":"bad key"})"),
        HttpReply::json(500, ""),
        HttpReply::json(200, R"({"data":[]})"),
        HttpReply::json(200, R"([{"b64_json":"YWJj"}])"),
        HttpReply::json(200, R"({"data":[{"b64_json":5}]})"),
        HttpReply::json(200, R"({"data":[{"b64_json":"YWI"}]})"),
        HttpReply::json(200, R"({"data":[{"b64_json":"YWJj\n"}]})"),
        HttpReply::json(200, R"({"data":[{"url":"https://x"}]})"),
    };
    auto studio = makeStudio();
    for (const HttpReply& reply : replies) {
        server.reset();
        server.reply("POST", "/v1/images/generations", reply);
        choice = pathIn(u"never.png"_qs);
        studio->generate(u"a fox"_qs, model(), std::nullopt, true, {});
        waitIdle(*studio);
        EXPECT_EQ(studio->message(), xai::failureText) << reply.body.constData();
        EXPECT_FALSE(QFileInfo::exists(*choice));
    }
    server.reset();
    server.reply("POST", "/v1/images/generations",
                 HttpReply::text(200, "<html>busy</html>", "text/html"));
    studio->generate(u"a fox"_qs, model(), std::nullopt, true, {});
    waitIdle(*studio);
    EXPECT_EQ(studio->message(),
              u"The data couldn\u2019t be read because it isn\u2019t in the correct format."_qs);
    EXPECT_TRUE(entries(folder.path()).isEmpty()); // no hidden file left behind
}

TEST_F(StudioTest, KeyWithControlCharactersCountsAsNoKey)
{
    const auto attempt = [this] {
        auto studio = makeStudio();
        choice = pathIn(u"never.png"_qs);
        studio->generate(u"a fox"_qs, model(), std::nullopt, true, {});
        waitIdle(*studio);
        EXPECT_FALSE(studio->hasOwnKey());
        EXPECT_EQ(studio->message(), u"Save your xAI API key first."_qs);
    };
    attempt(); // no key at all
    storeKey(key + "\r\nX-Injected: 1");
    attempt();
    storeKey(key + "\x7F");
    attempt();
    storeKey("\xFF" + key);
    attempt();
    QTest::qWait(20);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST(XaiImages, KeyNeverFollowsARedirectToAnotherHost)
{
    const QNetworkRequest request =
        xai::makeRequest(QUrl(u"https://api.example"_qs), u"xai-k"_qs, false);
    EXPECT_EQ(request.url().toString(), u"https://api.example/v1/images/generations"_qs);
    EXPECT_EQ(request.attribute(QNetworkRequest::RedirectPolicyAttribute).toInt(),
              int(QNetworkRequest::SameOriginRedirectPolicy));
}
