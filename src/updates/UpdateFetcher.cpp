#include "UpdateFetcher.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

constexpr qint64 maxFeedBytes = 4 * 1024 * 1024;

QString unreachable(const QString& detail)
{
    return QStringLiteral("The update server could not be reached: %1").arg(detail);
}

QString tooSlow()
{
    return QStringLiteral("The update server is sending too slowly. Try again later.");
}

} // namespace

UpdateFetcher::UpdateFetcher(Options options, QObject* parent)
    : QObject(parent), m_options(options), m_network(new QNetworkAccessManager(this))
{
    m_rateWindow.setInterval(m_options.rateWindowMs);
    connect(&m_rateWindow, &QTimer::timeout, this, &UpdateFetcher::checkRate);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(m_options.deadlineMs);
    connect(&m_deadline, &QTimer::timeout, this, [this] { failTransfer(tooSlow()); });
}

UpdateFetcher::~UpdateFetcher()
{
    cancel();
}

bool UpdateFetcher::isAllowed(const QUrl& url) const
{
    if (url.scheme() == u"https" && !url.host().isEmpty())
        return true;
    return m_options.allowLoopbackHttp && url.scheme() == u"http" && url.host() == u"127.0.0.1";
}

QNetworkReply* UpdateFetcher::get(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(m_options.transferTimeoutMs);
    // The default redirect policy never follows HTTPS down to HTTP.
    m_reply = m_network->get(request);
    m_received = m_receivedBefore = 0;
    connect(m_reply, &QNetworkReply::downloadProgress, this,
            [this](qint64 received) { m_received = received; });
    m_rateWindow.start();
    m_deadline.start();
    return m_reply;
}

void UpdateFetcher::checkRate()
{
    if (m_received - std::exchange(m_receivedBefore, m_received) < m_options.minimumBytesPerWindow)
        failTransfer(tooSlow());
}

void UpdateFetcher::stopClocks()
{
    m_rateWindow.stop();
    m_deadline.stop();
}

void UpdateFetcher::cancel()
{
    stopClocks();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    m_file.reset();
    if (m_target.isValid())
        m_target.discard();
}

QString UpdateFetcher::failureOf(QNetworkReply* reply) const
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        if (status.toInt() == 200)
            return {};
        return QStringLiteral("The update server answered with status %1.")
            .arg(QString::number(status.toInt()));
    }
    if (reply->error() == QNetworkReply::OperationCanceledError ||
        reply->error() == QNetworkReply::TimeoutError)
        return QStringLiteral("The update server did not answer in time.");
    return unreachable(reply->errorString());
}

void UpdateFetcher::fetchFeed(const QUrl& url)
{
    if (!isAllowed(url)) {
        failTransfer(QStringLiteral("The update feed address is not a secure (HTTPS) address."));
        return;
    }
    cancel();
    QNetworkReply* reply = get(url);
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 received) {
        if (received > maxFeedBytes)
            failTransfer(QStringLiteral("The update feed is too large."));
    });
    connect(reply, &QNetworkReply::finished, this, &UpdateFetcher::onFeedFinished);
}

void UpdateFetcher::onFeedFinished()
{
    stopClocks();
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    if (const QString failure = failureOf(reply); !failure.isEmpty()) {
        Q_EMIT failed(failure);
        return;
    }
    Q_EMIT feedFetched(reply->readAll());
}

void UpdateFetcher::download(const AppcastItem& item, HeldEntry target)
{
    cancel();
    m_target = std::move(target);
    if (!isAllowed(item.url)) {
        failTransfer(QStringLiteral("The update’s address is not a secure (HTTPS) address."));
        return;
    }
    // The announced length is not signed: a release is never near this, a hostile feed may be.
    if (item.length > maxArchiveBytes) {
        failTransfer(QStringLiteral("The update is larger than Tolvane accepts (%1 GiB).")
                         .arg(maxArchiveBytes >> 30));
        return;
    }
    m_file = std::make_unique<QFile>();
    if (!m_file->open(m_target.descriptor(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        failTransfer(QStringLiteral("The update could not be saved beside the installation."));
        return;
    }
    m_expected = item.length;
    QNetworkReply* reply = get(item.url);
    connect(reply, &QNetworkReply::readyRead, this, &UpdateFetcher::onDownloadData);
    connect(reply, &QNetworkReply::finished, this, &UpdateFetcher::onDownloadFinished);
}

void UpdateFetcher::onDownloadData()
{
    // An error page is not the archive; its status is reported when the reply finishes.
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200) {
        m_reply->readAll();
        return;
    }
    const QByteArray chunk = m_reply->readAll();
    if (m_file->size() + chunk.size() > m_expected) {
        failTransfer(QStringLiteral("The downloaded update is larger than announced."));
        return;
    }
    if (m_file->write(chunk) != chunk.size()) {
        failTransfer(QStringLiteral("The update could not be saved beside the installation."));
        return;
    }
    Q_EMIT downloadProgressed(m_file->size(), m_expected);
}

void UpdateFetcher::onDownloadFinished()
{
    if (const QString failure = failureOf(m_reply); !failure.isEmpty()) {
        failTransfer(failure);
        return;
    }
    onDownloadData();
    if (!m_file)
        return;
    const bool whole = m_file->size() == m_expected && m_file->flush();
    if (!whole) {
        failTransfer(QStringLiteral("The downloaded update is not the announced size."));
        return;
    }
    stopClocks();
    m_file.reset();
    m_reply->deleteLater();
    m_reply = nullptr;
    Q_EMIT downloadFinished();
}

void UpdateFetcher::failTransfer(const QString& message)
{
    cancel();
    Q_EMIT failed(message);
}
