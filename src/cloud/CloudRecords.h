#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The JSON records of the cloud service. Decoding is strict (see JsonReader) and throws
// DecodeError; members a record does not name are ignored.

// A model the service offers; two models with the same id are the same entry.
struct CloudModel {
    QString id;
    QString name;
    QString provider;
    qint64 credits = 0;
    bool available = false;
    QString resolution;
    QString quality;

    static CloudModel fromJson(const QJsonValue& value);
    QJsonObject toJson() const;
    bool operator==(const CloudModel&) const = default;
};

// The service catalogue: its models in the service's order.
struct Catalog {
    QList<CloudModel> models;

    static Catalog decode(const QByteArray& body);
};

// The service's answer about one generation job.
struct CloudResult {
    QString status;
    std::optional<QString> jobId;
    std::optional<QString> imageBase64;
    std::optional<QString> mimeType;
    std::optional<QString> error;

    static CloudResult decode(const QByteArray& body);
};
