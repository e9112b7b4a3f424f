#pragma once

#include "AppcastFeed.h"
#include "HeldEntry.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// The updater's network side: the feed into memory, an archive into a new file. One transfer at
// a time; starting another or cancel() ends the current one without a signal. Every failure is
// reported once, as a finished sentence. A transfer that brings less than a minimum in any
// window of time, or outlasts a deadline, fails: a server that sends a byte now and then would
// otherwise hold it open for ever.
class UpdateFetcher : public QObject {
    Q_OBJECT

public:
    struct Options {
        int transferTimeoutMs = 30'000;
        int rateWindowMs = 60'000;
        qint64 minimumBytesPerWindow = 512 * 1024;
        int deadlineMs = 3 * 60 * 60 * 1000;
        // Tests serve over plain HTTP on 127.0.0.1; everything else must be HTTPS.
        bool allowLoopbackHttp = false;
    };

    // The largest archive downloaded at all.
    static constexpr qint64 maxArchiveBytes = qint64(1) << 30;

    explicit UpdateFetcher(Options options, QObject* parent = nullptr);
    ~UpdateFetcher() override;

    void fetchFeed(const QUrl& url);
    // Writes into the new, empty file `target`, which is discarded on any failure or cancel. An
    // announced length over maxArchiveBytes fails before anything is fetched.
    void download(const AppcastItem& item, HeldEntry target);
    // The file of the download that finished last, still held.
    HeldEntry takeDownload() { return std::move(m_target); }
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
    void failTransfer(const QString& message);
    void checkRate();
    void stopClocks();

    Options m_options;
    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    HeldEntry m_target;
    std::unique_ptr<QFile> m_file;
    qint64 m_expected = 0;
    QTimer m_rateWindow;
    QTimer m_deadline;
    qint64 m_received = 0;
    qint64 m_receivedBefore = 0; // at the start of the current window
};
