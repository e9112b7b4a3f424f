#include "cloud/ServiceClient.h"
#include "cloud/HttpExchange.h"
#include "support/LoopbackHttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTest>
#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

class ServiceClientTest : public ::testing::Test {
protected:
    // Sends one request and waits for its answer.
    Result<QByteArray> call(const QString& path, const ServiceClient::Fields& fields = {},
                            const QString& base = {})
    {
        ServiceClient client(QUrl(base.isEmpty() ? server.base() : base), &manager);
        std::optional<Result<QByteArray>> answer;
        QObject context;
        client.request(path, fields, &context, [&](const Result<QByteArray>& r) { answer = r; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000));
        return answer.value_or(Result<QByteArray>::failure(u"no answer"_qs));
    }

    QString failureFor(int status, const QByteArray& body)
    {
        server.reset();
        server.reply("POST", "/api/cloud/result", HttpReply::json(status, body));
        const Result<QByteArray> result = call(u"api/cloud/result"_qs, {{"job_id", "j"}});
        EXPECT_FALSE(result.isOk()) << status;
        return result.error();
    }

    LoopbackHttpServer server;
    QNetworkAccessManager manager;
};

} // namespace

TEST_F(ServiceClientTest, PostsCompactJsonAndReturnsTheExactBody)
{
    const QByteArray body("{\"status\":\"queued\"}\n\x00\xFF", 21);
    server.reply("POST", "/staging/api/cloud/generate", HttpReply::json(200, body));
    const Result<QByteArray> result =
        call(u"api/cloud/generate"_qs,
             {{"job_id", "0a1b"}, {"prompt", " a \"cat\"\n"}, {"model", "grok-1k-low"}},
             server.base() + u"/staging/"_qs);
    ASSERT_TRUE(result.isOk()) << result.error().toStdString();
    EXPECT_EQ(result.value(), body);

    const QList<HttpRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, u"/staging/api/cloud/generate"_qs);
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_FALSE(requests[0].body.contains("\": ")); // compact
    EXPECT_FALSE(requests[0].body.contains('\n'));
    const QJsonObject sent = QJsonDocument::fromJson(requests[0].body).object();
    EXPECT_EQ(sent, (QJsonObject{
                        {"job_id", "0a1b"}, {"prompt", " a \"cat\"\n"}, {"model", "grok-1k-low"}}));
}

TEST_F(ServiceClientTest, EmptyFieldsSendAnEmptyObject)
{
    server.reply("POST", "/api/cloud/result", HttpReply::json(200, "{}"));
    ASSERT_TRUE(call(u"api/cloud/result"_qs).isOk());
    EXPECT_EQ(server.requests().value(0).body, "{}");
}

TEST_F(ServiceClientTest, PathsGetTheirTimeOutsAndOneSlash)
{
    ServiceClient client(QUrl(u"https://service.example/base/"_qs), &manager);
    EXPECT_EQ(client.makeRequest(u"api/cloud/generate"_qs).transferTimeout(), 240000);
    EXPECT_EQ(client.makeRequest(u"api/cloud/generate/"_qs).transferTimeout(), 45000);
    EXPECT_EQ(client.makeRequest(u"api/cloud/result"_qs).transferTimeout(), 45000);
    EXPECT_EQ(client.address(u"api/cloud/result"_qs).toString(),
              u"https://service.example/base/api/cloud/result"_qs);
    ServiceClient bare(QUrl(u"https://service.example"_qs), &manager);
    EXPECT_EQ(bare.address(u"api/models"_qs).toString(), u"https://service.example/api/models"_qs);
}

TEST_F(ServiceClientTest, OnlyStatus200IsSuccess)
{
    EXPECT_EQ(failureFor(201, R"({"status":"completed"})"), ServiceClient::fallbackMessage);
    EXPECT_EQ(failureFor(204, ""), ServiceClient::fallbackMessage);
    EXPECT_EQ(failureFor(500, R"({"error":"Out of credits"})"), u"Out of credits"_qs);
    EXPECT_EQ(failureFor(402, R"({"error":" Out of credits. "})"), u" Out of credits. "_qs);
}

TEST_F(ServiceClientTest, UnusableErrorBodiesGiveTheFixedSentence)
{
    for (const QByteArray body :
         {"<html><body>Bad gateway</body></html>", R"({"error":3})", R"({"error":null})",
          R"({"error":""})", R"({"error":"  "})", R"({"message":"x"})", R"(["error"])", ""})
        EXPECT_EQ(failureFor(503, body), ServiceClient::fallbackMessage) << body.constData();
}

TEST_F(ServiceClientTest, TransportFailuresAreSentences)
{
    const QString closed =
        QStringLiteral("http://127.0.0.1:%1").arg(LoopbackHttpServer::closedPort());
    const Result<QByteArray> refused = call(u"api/cloud/result"_qs, {}, closed);
    EXPECT_FALSE(refused.isOk());
    EXPECT_FALSE(refused.error().isEmpty());
    EXPECT_NE(refused.error(), ServiceClient::fallbackMessage);

    server.reply("GET", "/slow", HttpReply::stall());
    QNetworkRequest request(server.url(u"/slow"_qs));
    request.setTransferTimeout(150);
    std::optional<HttpOutcome> outcome;
    QObject context;
    HttpExchange::send(manager, request, "GET", {}, HttpExchange::jsonLimit, &context,
                       [&](const HttpOutcome& o) { outcome = o; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 5000));
    EXPECT_FALSE(outcome->answered());
    EXPECT_EQ(outcome->transportError, u"The request timed out."_qs);
}

TEST_F(ServiceClientTest, NoCallbackOnceTheContextIsGone)
{
    HttpReply late = HttpReply::json(200, "{}");
    late.delayMs = 100;
    server.reply("POST", "/api/cloud/result", late);
    ServiceClient client(QUrl(server.base()), &manager);
    bool called = false;
    {
        QObject context;
        client.request(u"api/cloud/result"_qs, {}, &context, [&](const auto&) { called = true; });
        ASSERT_TRUE(server.waitForRequests(1));
    }
    QTest::qWait(300);
    EXPECT_FALSE(called);
}
