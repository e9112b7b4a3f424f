#pragma once

#include "Result.h"

#include <QMap>
#include <QNetworkRequest>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QObject;

// The client of the product's cloud service: one POST of a flat JSON object of texts per call.
// GUI thread only; several requests may be in flight at once.
class ServiceClient {
public:
    using Fields = QMap<QString, QString>;
    using Callback = std::function<void(const Result<QByteArray>&)>;

    inline static const QString fallbackMessage =
        QStringLiteral("Cloud tools could not be reached. Try again shortly.");

    // `manager` must outlive the client.
    ServiceClient(QUrl base, QNetworkAccessManager* manager);

    // One per process, on TolvaneService::origin(); made on first use, on the GUI thread.
    static ServiceClient& shared();

    // POSTs `fields` to base + "/" + path. Status 200 gives the body; any other status gives the
    // service's "error" text or the fallback sentence; a transport failure gives its sentence.
    // `callback` runs on `context`'s thread, and not at all when `context` is gone.
    void request(const QString& path, const Fields& fields, QObject* context, Callback callback);

    QUrl base() const { return m_base; }
    QNetworkAccessManager* manager() const { return m_manager; }
    QUrl address(const QString& path) const;
    QNetworkRequest makeRequest(const QString& path) const;
    static QByteArray encode(const Fields& fields);
    // The reply of a finished request as the caller sees it.
    static Result<QByteArray> interpret(int status, const QByteArray& body);

private:
    QUrl m_base;
    QNetworkAccessManager* m_manager;
};
