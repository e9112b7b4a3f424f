#pragma once

#include "AppcastFeed.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// The updater's network side: the feed into memory, an archive into a new file. One transfer at
// a time; starting another or cancel() ends the current one without a signal. Every failure is
// reported once, as a finished sentence.
class UpdateFetcher : public QObject {
    Q_OBJECT

public:
    struct Options {
        int transferTimeoutMs = 30'000;
        // Tests serve over plain HTTP on 127.0.0.1; everything else must be HTTPS.
        bool allowLoopbackHttp = false;
    };

    // The largest archive downloaded at all.
    static constexpr qint64 maxArchiveBytes = qint64(1) << 30;

    explicit UpdateFetcher(Options options, QObject* parent = nullptr);
    ~UpdateFetcher() override;

    void fetchFeed(const QUrl& url);
    // Writes into `path`, which must not exist; removed again on any failure or cancel. An
    // announced length over maxArchiveBytes fails before anything is fetched.
    void download(const AppcastItem& item, const QString& path);
    void cancel();

Q_SIGNALS:
    void feedFetched(const QByteArray& xml);
    void downloadProgressed(qint64 received, qint64 total);
    void downloadFinished();
    void failed(const QString& message);

private:
    bool isAllowed(const QUrl& url) const;
    QNetworkReply* get(const QUrl& url);
    // The failure text of a finished reply, or empty for a 200 answer.
    QString failureOf(QNetworkReply* reply) const;
    void onFeedFinished();
    void onDownloadData();
    void onDownloadFinished();
    void failDownload(const QString& message);

    Options m_options;
    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QFile> m_file;
    qint64 m_expected = 0;
};
