#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QMap>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <optional>

namespace TestSupport {

QByteArray HttpRequest::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

HttpReply HttpReply::json(int status, const QByteArray& body)
{
    return text(status, body, "application/json");
}

HttpReply HttpReply::text(int status, const QByteArray& body, const QByteArray& type)
{
    HttpReply reply;
    reply.status = status;
    reply.body = body;
    reply.headers.append({"Content-Type", type});
    return reply;
}

HttpReply HttpReply::redirect(int status, const QByteArray& location)
{
    HttpReply reply;
    reply.status = status;
    reply.headers.append({"Location", location});
    return reply;
}

HttpReply HttpReply::stall()
{
    HttpReply reply;
    reply.mode = Mode::stall;
    return reply;
}

HttpReply HttpReply::close(int delayMs)
{
    HttpReply reply;
    reply.mode = Mode::close;
    reply.delayMs = delayMs;
    return reply;
}

HttpReply HttpReply::endless(int status, const QByteArray& start, qint64 announcedLength)
{
    HttpReply reply = json(status, start);
    reply.mode = Mode::endless;
    reply.announcedLength = announcedLength;
    return reply;
}

HttpReply HttpReply::trickle(const QByteArray& body, int intervalMs)
{
    HttpReply reply;
    reply.body = body;
    reply.delayMs = intervalMs;
    reply.mode = Mode::trickle;
    return reply;
}

namespace {

struct Route {
    QList<HttpReply> script;
    int next = 0;
    HttpHandler handler;
};

QByteArray reasonPhrase(int status)
{
    static const QMap<int, QByteArray> phrases{
        {200, "OK"},          {201, "Created"},      {204, "No Content"},
        {301, "Moved"},       {302, "Found"},        {307, "Temporary Redirect"},
        {400, "Bad Request"}, {401, "Unauthorized"}, {403, "Forbidden"},
        {404, "Not Found"},   {429, "Too Many"},     {500, "Internal Server Error"},
        {502, "Bad Gateway"}, {503, "Unavailable"},
    };
    return phrases.value(status, "Status");
}

QByteArray serialise(const HttpReply& reply)
{
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        out += name + ": " + value + "\r\n";
    if (reply.announcedLength >= 0)
        out += "Content-Length: " + QByteArray::number(reply.announcedLength) + "\r\n";
    else if (reply.mode != HttpReply::Mode::endless)
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    return out + reply.body;
}

// Parses one complete request from the front of `buffer`; nothing while it is incomplete.
std::optional<HttpRequest> parseRequest(const QByteArray& buffer)
{
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return std::nullopt;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    HttpRequest request;
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    const qsizetype question = request.target.indexOf('?');
    request.path =
        QUrl::fromPercentEncoding(question < 0 ? request.target : request.target.left(question));
    request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.append(
                {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    const qint64 length = request.header("Content-Length").toLongLong();
    if (buffer.size() < headerEnd + 4 + length)
        return std::nullopt;
    request.body = buffer.mid(headerEnd + 4, length);
    return request;
}

} // namespace

struct LoopbackHttpServer::Shared {
    mutable std::mutex mutex;
    QMap<std::pair<QByteArray, QString>, Route> routes;
    HttpReply fallback = HttpReply::text(404, "no route");
    QList<HttpRequest> requests;
    std::atomic<qint64> streamed{0};

    // Records the request and picks its answer.
    HttpReply answer(const HttpRequest& request)
    {
        HttpHandler handler;
        {
            std::lock_guard lock(mutex);
            requests.append(request);
            auto route = routes.find({request.method, request.path});
            if (route == routes.end())
                route = routes.find({QByteArray(), request.path});
            if (route == routes.end())
                return fallback;
            if (!route->handler) {
                const HttpReply picked = route->script.value(route->next);
                route->next = std::min<int>(route->next + 1, int(route->script.size()) - 1);
                return picked;
            }
            handler = route->handler;
        }
        return handler(request);
    }
};

// Lives on the server's thread and owns every socket.
class LoopbackHttpServer::Worker : public QObject {
public:
    explicit Worker(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    quint16 listen()
    {
        m_server = new QTcpServer(this);
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            return 0;
        return m_server->serverPort();
    }

    void stop()
    {
        const QList<QObject*> owned = children();
        qDeleteAll(owned);
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket] { readFrom(socket); });
        }
    }

    void readFrom(QTcpSocket* socket)
    {
        if (socket->property("answered").toBool()) {
            socket->readAll();
            return;
        }
        QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
        const std::optional<HttpRequest> request = parseRequest(buffer);
        if (!request) {
            socket->setProperty("buffer", buffer);
            return;
        }
        socket->setProperty("answered", true);
        socket->setProperty("buffer", QVariant());
        send(socket, m_shared->answer(*request));
    }

    // Keeps up to a megabyte queued until the client goes or the reply's limit is reached. Past
    // every client's cap it slows to a crawl: a client on a busy machine reads whatever comes on
    // its network thread while its GUI thread waits for a turn, and gets seconds to hang up.
    void stream(QTcpSocket* socket)
    {
        static const QByteArray filler(64 << 10, 'a');
        static constexpr qint64 pastEveryCap = qint64(96) << 20;
        auto* pace = new QTimer(socket);
        pace->setInterval(1);
        QObject::connect(pace, &QTimer::timeout, socket,
                         [this, socket, pace, sent = qint64(0)]() mutable {
                             while (socket->state() == QAbstractSocket::ConnectedState &&
                                    socket->bytesToWrite() < (1 << 20)) {
                                 if (sent >= HttpReply::endlessLimit) {
                                     socket->disconnectFromHost();
                                     break;
                                 }
                                 socket->write(filler);
                                 sent += filler.size();
                                 m_shared->streamed += filler.size();
                                 if (sent >= pastEveryCap) {
                                     pace->setInterval(20);
                                     return;
                                 }
                             }
                             if (socket->state() != QAbstractSocket::ConnectedState)
                                 pace->stop();
                         });
        pace->start();
    }

    // The body a byte at a time, each after the interval.
    void trickle(QTcpSocket* socket, const HttpReply& reply)
    {
        HttpReply head = reply;
        head.announcedLength = reply.body.size();
        head.body.clear();
        socket->write(serialise(head));
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket,
                         [socket, body = reply.body, sent = 0]() mutable {
                             if (sent < body.size())
                                 socket->write(body.mid(sent++, 1));
                             else
                                 socket->disconnectFromHost();
                         });
        timer->start(std::max(1, reply.delayMs));
    }

    void send(QTcpSocket* socket, const HttpReply& reply)
    {
        if (reply.mode == HttpReply::Mode::stall)
            return;
        if (reply.mode == HttpReply::Mode::trickle)
            return trickle(socket, reply);
        QTimer::singleShot(std::max(0, reply.delayMs), socket, [this, socket, reply] {
            if (reply.mode == HttpReply::Mode::close) {
                socket->abort();
                return;
            }
            socket->write(serialise(reply));
            if (reply.mode == HttpReply::Mode::endless) {
                stream(socket);
                return;
            }
            // A body shorter than announced leaves the client waiting for the rest.
            if (reply.announcedLength <= reply.body.size())
                socket->disconnectFromHost();
        });
    }

    std::shared_ptr<Shared> m_shared;
    QTcpServer* m_server = nullptr;
};

LoopbackHttpServer::LoopbackHttpServer() : m_shared(std::make_shared<Shared>())
{
    m_thread = new QThread;
    m_thread->setObjectName("LoopbackHttpServer");
    m_worker = new Worker(m_shared);
    m_worker->moveToThread(m_thread);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker, [this] { m_port = m_worker->listen(); }, Qt::BlockingQueuedConnection);
    Q_ASSERT(m_port != 0);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    QMetaObject::invokeMethod(
        m_worker, [this] { m_worker->stop(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
    delete m_thread;
}

QString LoopbackHttpServer::base() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QUrl LoopbackHttpServer::url(const QString& path) const
{
    return QUrl(base() + path);
}

void LoopbackHttpServer::reply(const QByteArray& method, const QString& path,
                               const HttpReply& reply)
{
    std::lock_guard lock(m_shared->mutex);
    Route& route = m_shared->routes[{method, path}];
    route.handler = nullptr;
    route.script.append(reply);
}

void LoopbackHttpServer::handle(const QByteArray& method, const QString& path, HttpHandler handler)
{
    std::lock_guard lock(m_shared->mutex);
    Route& route = m_shared->routes[{method, path}];
    route.script.clear();
    route.next = 0;
    route.handler = std::move(handler);
}

void LoopbackHttpServer::setFallback(const HttpReply& reply)
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->fallback = reply;
}

void LoopbackHttpServer::reset()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->routes.clear();
    m_shared->requests.clear();
}

QList<HttpRequest> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->requests;
}

QList<HttpRequest> LoopbackHttpServer::requests(const QByteArray& method, const QString& path) const
{
    QList<HttpRequest> matching;
    for (const HttpRequest& request : requests())
        if (request.method == method && request.path == path)
            matching.append(request);
    return matching;
}

int LoopbackHttpServer::requestCount() const
{
    std::lock_guard lock(m_shared->mutex);
    return int(m_shared->requests.size());
}

qint64 LoopbackHttpServer::streamedBytes() const
{
    return m_shared->streamed;
}

bool LoopbackHttpServer::waitForRequests(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return requestCount() >= count; }, timeoutMs);
}

quint16 LoopbackHttpServer::closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace TestSupport
