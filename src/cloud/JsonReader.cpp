#include "JsonReader.h"

#include <QJsonDocument>

DecodeError::DecodeError(Kind kind, QString message) : EngineError(std::move(message)), m_kind(kind)
{
}

DecodeError DecodeError::missing()
{
    return DecodeError(Kind::missing,
                       QStringLiteral("The data couldn\u2019t be read because it is missing."));
}

DecodeError DecodeError::wrongFormat()
{
    return DecodeError(
        Kind::wrongFormat,
        QStringLiteral(
            "The data couldn\u2019t be read because it isn\u2019t in the correct format."));
}

JsonReader JsonReader::parse(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw DecodeError::wrongFormat();
    return JsonReader(document.object());
}

JsonReader JsonReader::of(const QJsonValue& value)
{
    if (value.isNull() || value.isUndefined())
        throw DecodeError::missing();
    if (!value.isObject())
        throw DecodeError::wrongFormat();
    return JsonReader(value.toObject());
}

QJsonValue JsonReader::required(const QString& key) const
{
    const QJsonValue value = m_object.value(key);
    if (value.isUndefined() || value.isNull())
        throw DecodeError::missing();
    return value;
}

QJsonValue JsonReader::optional(const QString& key) const
{
    return m_object.value(key);
}

QString JsonReader::toString(const QJsonValue& value)
{
    if (value.isNull() || value.isUndefined())
        throw DecodeError::missing();
    if (!value.isString())
        throw DecodeError::wrongFormat();
    return value.toString();
}

QString JsonReader::string(const QString& key) const
{
    return toString(required(key));
}

std::optional<QString> JsonReader::optionalString(const QString& key) const
{
    const QJsonValue value = optional(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return toString(value);
}

qint64 JsonReader::integer(const QString& key) const
{
    const QJsonValue value = required(key);
    // toInteger() falls back to its argument for fractions and out-of-range numbers: two
    // different fallbacks agree only on a real whole number.
    if (!value.isDouble() || value.toInteger(0) != value.toInteger(1))
        throw DecodeError::wrongFormat();
    return value.toInteger();
}

bool JsonReader::boolean(const QString& key) const
{
    const QJsonValue value = required(key);
    if (!value.isBool())
        throw DecodeError::wrongFormat();
    return value.toBool();
}

QJsonArray JsonReader::array(const QString& key) const
{
    const QJsonValue value = required(key);
    if (!value.isArray())
        throw DecodeError::wrongFormat();
    return value.toArray();
}

std::optional<QJsonArray> JsonReader::optionalArray(const QString& key) const
{
    const QJsonValue value = optional(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isArray())
        throw DecodeError::wrongFormat();
    return value.toArray();
}
