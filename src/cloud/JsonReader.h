#pragma once

#include "core/EngineError.h"

#include <QJsonArray>
#include <QJsonObject>
#include <optional>

// A reply that does not have the shape its record needs.
class DecodeError : public EngineError {
public:
    enum class Kind { missing, wrongFormat };

    static DecodeError missing();     // a required member is absent or null
    static DecodeError wrongFormat(); // not JSON, or a member of the wrong type

    Kind kind() const { return m_kind; }

private:
    DecodeError(Kind kind, QString message);
    Kind m_kind;
};

// Strict member access on one JSON object: texts must be strings, integers whole numbers within
// 64 bits, Booleans true or false. Required members throw DecodeError when absent, null or of
// another type; optional ones read absent and null as nothing.
class JsonReader {
public:
    explicit JsonReader(QJsonObject object) : m_object(std::move(object)) {}
    // The body as one JSON object, or DecodeError::wrongFormat().
    static JsonReader parse(const QByteArray& body);
    static JsonReader of(const QJsonValue& value);

    QString string(const QString& key) const;
    std::optional<QString> optionalString(const QString& key) const;
    qint64 integer(const QString& key) const;
    bool boolean(const QString& key) const;
    QJsonArray array(const QString& key) const;
    std::optional<QJsonArray> optionalArray(const QString& key) const;

    static QString toString(const QJsonValue& value);

private:
    QJsonValue required(const QString& key) const;
    QJsonValue optional(const QString& key) const;

    QJsonObject m_object;
};
