#pragma once

#include "Result.h"

#include <QList>
#include <QMap>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QObject;
struct HttpOutcome;

// The client of the product's cloud service: one POST of a flat JSON object of texts per job
// call, and the catalogue's plain GET. Every job call carries the installation's account token
// as a bearer token and follows redirects only within the service's origin. GUI thread only;
// several requests may be in flight at once.
class ServiceClient {
public:
    using Fields = QMap<QString, QString>;
    using Callback = std::function<void(const Result<QByteArray>&)>;

    inline static const QString fallbackMessage =
        QStringLiteral("Cloud tools could not be reached. Try again shortly.");

    // `manager` must outlive the client.
    ServiceClient(QUrl base, QNetworkAccessManager* manager);
    ~ServiceClient();

    // One per process, on TolvaneService::origin(); made on first use, on the GUI thread.
    static ServiceClient& shared();

    // POSTs `fields` to base + "/" + path. Status 200 gives the body; any other status gives the
    // service's "error" text or the fallback sentence; a transport or keyring failure gives its
    // sentence. `callback` runs on `context`'s thread, and not at all when `context` is gone.
    void request(const QString& path, const Fields& fields, QObject* context, Callback callback);
    // GETs the catalogue, "api/models", with no header and no token; `handler` gets the outcome
    // whatever the status.
    void fetchCatalog(QObject* context, std::function<void(const HttpOutcome&)> handler);

    QUrl base() const { return m_base; }
    QNetworkAccessManager* manager() const { return m_manager; }
    QUrl address(const QString& path) const;
    // The POST request of `path`, without the account token.
    QNetworkRequest makeRequest(const QString& path) const;
    static QByteArray encode(const Fields& fields);
    // The reply of a finished request as the caller sees it.
    static Result<QByteArray> interpret(int status, const QByteArray& body);

private:
    using TokenUse = std::function<void(const Result<QString>&)>;

    // Adds the account token and sends; a keyring failure reaches `handler` as a transport
    // failure with the keyring's sentence, after this call has returned.
    void send(QNetworkRequest request, const QByteArray& method, const QByteArray& body,
              qint64 limit, QObject* context, std::function<void(const HttpOutcome&)> handler);
    // Hands the account token to `use`, read from the keyring off the GUI thread on first use.
    // Requests made while it is being read wait for that one read.
    void withToken(QObject* context, TokenUse use);

    QUrl m_base;
    QNetworkAccessManager* m_manager;
    QString m_token; // read from the keyring once, on first use
    QList<std::pair<QPointer<QObject>, TokenUse>> m_waitingForToken;
    // Ends the keyring's late answers together with this client.
    std::unique_ptr<QObject> m_keyringContext;
};
