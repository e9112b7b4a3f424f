#include "support/LoopbackHttpServer.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTest>
#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

struct Fetched {
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = -1;
    QByteArray body;
    QByteArray header;
};

Fetched fetch(const QByteArray& method, const QUrl& url, const QByteArray& body = {},
              int timeoutMs = 5000)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.setRawHeader("X-Probe", "one two");
    QNetworkReply* reply = manager.sendCustomRequest(request, method, body);
    EXPECT_TRUE(QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000));
    Fetched fetched;
    fetched.error = reply->error();
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        fetched.status = -1;
    if (reply->isOpen())
        fetched.body = reply->readAll();
    fetched.header = reply->rawHeader("X-Reply");
    delete reply;
    return fetched;
}

} // namespace

TEST(LoopbackHttpServer, ServesScriptsInOrderAndRecordsRequests)
{
    LoopbackHttpServer server;
    HttpReply tagged = HttpReply::json(201, R"({"n":2})");
    tagged.headers.append({QByteArray("X-Reply"), QByteArray("tagged")});
    server.reply("POST", "/api/job", HttpReply::json(200, R"({"n":1})"));
    server.reply("POST", "/api/job", tagged);

    const Fetched first = fetch("POST", server.url("/api/job?x=1"), R"({"a":"b"})");
    const Fetched second = fetch("POST", server.url("/api/job"), "{}");
    const Fetched third = fetch("POST", server.url("/api/job"), "{}");
    const Fetched other = fetch("GET", server.url("/api/job"));

    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.body, R"({"n":1})");
    EXPECT_EQ(second.status, 201);
    EXPECT_EQ(second.header, "tagged");
    EXPECT_EQ(third.status, 201); // the last reply repeats
    EXPECT_EQ(other.status, 404); // routes are per method

    const QList<HttpRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/api/job");
    EXPECT_EQ(requests[0].query, "x=1");
    EXPECT_EQ(requests[0].body, R"({"a":"b"})");
    EXPECT_EQ(requests[0].header("content-type"), "application/json");
    EXPECT_EQ(requests[0].header("x-probe"), "one two");
    EXPECT_TRUE(requests[3].body.isEmpty());
    EXPECT_EQ(server.requests("POST", "/api/job").size(), 3);
}

TEST(LoopbackHttpServer, HandlersAnswerFromTheRequest)
{
    LoopbackHttpServer server;
    server.handle("", "/echo", [](const HttpRequest& request) {
        return HttpReply::text(200, request.method + " " + request.body);
    });
    EXPECT_EQ(fetch("PUT", server.url("/echo"), "abc").body, "PUT abc");
    server.setFallback(HttpReply::text(503, "<html>down</html>", "text/html"));
    const Fetched missing = fetch("GET", server.url("/nowhere"));
    EXPECT_EQ(missing.status, 503);
    EXPECT_EQ(missing.body, "<html>down</html>");
}

TEST(LoopbackHttpServer, StallsClosesDelaysAndRefuses)
{
    LoopbackHttpServer server;
    server.reply("GET", "/stall", HttpReply::stall());
    server.reply("GET", "/close", HttpReply::close());
    HttpReply slow = HttpReply::text(200, "late");
    slow.delayMs = 300;
    server.reply("GET", "/slow", slow);

    const Fetched stalled = fetch("GET", server.url("/stall"), {}, 200);
    EXPECT_EQ(stalled.error, QNetworkReply::OperationCanceledError);
    EXPECT_EQ(stalled.status, -1);
    EXPECT_EQ(server.requests("GET", "/stall").size(), 1); // recorded although never answered

    EXPECT_EQ(fetch("GET", server.url("/close")).error, QNetworkReply::RemoteHostClosedError);
    EXPECT_EQ(fetch("GET", server.url("/slow"), {}, 100).error,
              QNetworkReply::OperationCanceledError);
    EXPECT_EQ(fetch("GET", server.url("/slow")).body, "late");

    const QUrl refused(
        QStringLiteral("http://127.0.0.1:%1/").arg(LoopbackHttpServer::closedPort()));
    EXPECT_EQ(fetch("GET", refused).error, QNetworkReply::ConnectionRefusedError);
}
