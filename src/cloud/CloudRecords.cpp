#include "CloudRecords.h"

#include "JsonReader.h"

CloudModel CloudModel::fromJson(const QJsonValue& value)
{
    const JsonReader reader = JsonReader::of(value);
    CloudModel model;
    model.id = reader.string(QStringLiteral("id"));
    model.name = reader.string(QStringLiteral("name"));
    model.provider = reader.string(QStringLiteral("provider"));
    model.credits = reader.integer(QStringLiteral("credits"));
    model.available = reader.boolean(QStringLiteral("available"));
    model.resolution = reader.string(QStringLiteral("resolution"));
    model.quality = reader.string(QStringLiteral("quality"));
    return model;
}

QJsonObject CloudModel::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("provider"), provider},
        {QStringLiteral("credits"), credits},
        {QStringLiteral("available"), available},
        {QStringLiteral("resolution"), resolution},
        {QStringLiteral("quality"), quality},
    };
}

Catalog Catalog::decode(const QByteArray& body)
{
    Catalog catalog;
    for (const QJsonValue& entry : JsonReader::parse(body).array(QStringLiteral("models")))
        catalog.models.append(CloudModel::fromJson(entry));
    return catalog;
}

CloudResult CloudResult::decode(const QByteArray& body)
{
    const JsonReader reader = JsonReader::parse(body);
    CloudResult result;
    result.status = reader.string(QStringLiteral("status"));
    result.jobId = reader.optionalString(QStringLiteral("job_id"));
    result.imageBase64 = reader.optionalString(QStringLiteral("image_base64"));
    result.mimeType = reader.optionalString(QStringLiteral("mime_type"));
    result.error = reader.optionalString(QStringLiteral("error"));
    return result;
}
