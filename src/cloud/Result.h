#pragma once

#include <QString>
#include <optional>
#include <utility>

// A value, or the finished sentence that tells the user why there is none.
template <typename T> class Result {
public:
    static Result success(T value) { return Result(std::move(value), {}); }
    static Result failure(QString message) { return Result(std::nullopt, std::move(message)); }

    bool isOk() const { return m_value.has_value(); }
    const T& value() const { return *m_value; }
    const QString& error() const { return m_error; }

private:
    Result(std::optional<T> value, QString error)
        : m_value(std::move(value)), m_error(std::move(error))
    {
    }

    std::optional<T> m_value;
    QString m_error;
};
