#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <utility>

class QThread;

namespace TestSupport {

// One request as the server received it.
struct HttpRequest {
    QByteArray method;
    QByteArray target;                                // as sent: path and query
    QString path;                                     // decoded path, without the query
    QByteArray query;                                 // raw text after '?', empty when none
    QList<std::pair<QByteArray, QByteArray>> headers; // names as sent
    QByteArray body;

    // The first header of that name (case-insensitive), or a null array.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const { return !header(name).isNull(); }
};

// One scripted answer. Content-Length and "Connection: close" are added by the server.
struct HttpReply {
    enum class Mode {
        answer,  // send status, headers and body after delayMs
        stall,   // read the request and never answer (time-outs)
        close,   // close the connection after delayMs without answering
        endless, // send status, headers and body, then filler bytes until the client leaves
        trickle  // send status and headers, then the body one byte every delayMs
    };

    int status = 200;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int delayMs = 0;
    Mode mode = Mode::answer;
    // Replaces the Content-Length the server would send (endless replies send none otherwise);
    // an answer whose body is shorter keeps the connection open after it.
    qint64 announcedLength = -1;

    static HttpReply json(int status, const QByteArray& body);
    static HttpReply text(int status, const QByteArray& body,
                          const QByteArray& type = "text/plain");
    static HttpReply redirect(int status, const QByteArray& location);
    static HttpReply stall();
    static HttpReply close(int delayMs = 0);
    // `start`, then 'a' without end (at most endlessLimit bytes for each reply).
    static HttpReply endless(int status, const QByteArray& start, qint64 announcedLength = -1);
    static constexpr qint64 endlessLimit = qint64(256) << 20;
    static HttpReply trickle(const QByteArray& body, int intervalMs);
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

// An HTTP/1.1 server on 127.0.0.1 and a free port, serving scripted replies from its own thread
// (so blocking clients work too) and recording every request. Clients must bypass proxies
// (QNetworkProxy::NoProxy). Unrouted requests get 404 unless a fallback is set.
class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>" without a trailing slash.
    QString base() const;
    // base() + path; path should start with '/'.
    QUrl url(const QString& path = QStringLiteral("/")) const;

    // Appends a reply to the script of (method, path): replies are used in order and the last one
    // repeats. An empty method matches any method. Replaces a handler set for the same route.
    void reply(const QByteArray& method, const QString& path, const HttpReply& reply);
    // Answers every request of (method, path) by calling `handler` on the server's thread.
    void handle(const QByteArray& method, const QString& path, HttpHandler handler);
    void setFallback(const HttpReply& reply);
    // Forgets routes and recorded requests.
    void reset();

    QList<HttpRequest> requests() const;
    QList<HttpRequest> requests(const QByteArray& method, const QString& path) const;
    int requestCount() const;
    // Bytes of all endless replies written so far.
    qint64 streamedBytes() const;
    // Spins the caller's event loop until `count` requests have arrived in all.
    bool waitForRequests(int count, int timeoutMs = 5000) const;

    // A port on 127.0.0.1 where nothing listens (bound, then released).
    static quint16 closedPort();

private:
    class Worker;
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    QThread* m_thread = nullptr;
    Worker* m_worker = nullptr;
    quint16 m_port = 0;
};

} // namespace TestSupport
