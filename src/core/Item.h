#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QUuid>
#include <optional>

// One queued source image.
struct Item {
    class Status {
    public:
        enum class Kind { working, failed, pending, done };

        static Status working(double fraction) { return Status(Kind::working, fraction, {}); }
        static Status failed(QString message)
        {
            return Status(Kind::failed, 0, std::move(message));
        }
        static Status pending() { return Status(Kind::pending, 0, {}); }
        static Status done() { return Status(Kind::done, 0, {}); }

        Kind kind() const { return m_kind; }
        bool is(Kind kind) const { return m_kind == kind; }
        double fraction() const { return m_fraction; }
        QString message() const { return m_message; }

        // Same case and equal payload; a NaN fraction never equals anything.
        bool operator==(const Status& other) const;

    private:
        Status(Kind kind, double fraction, QString message)
            : m_kind(kind), m_fraction(fraction), m_message(std::move(message))
        {
        }
        Kind m_kind;
        double m_fraction;
        QString m_message;
    };

    QUuid id;
    QString path; // the source, never written to
    QImage thumbnail;
    QSize pixelSize; // as displayed, orientation applied
    Status status = Status::pending();
    QString outputPath; // empty until a run succeeds
    std::optional<QSize> outputPixelSize;

    // Identity, status and output only; thumbnails and sizes take no part.
    bool operator==(const Item& other) const
    {
        return id == other.id && status == other.status && outputPath == other.outputPath;
    }
};
