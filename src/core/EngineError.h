#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Base of every error the user may see: message() is the finished English text.
class EngineError : public std::exception {
public:
    explicit EngineError(QString message);
    QString message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Reading and writing image files. Names are a file's last path component.
class ImageError : public EngineError {
public:
    enum class Kind {
        cannotRead,
        cannotWrite,
        webpTooLarge,
        heicTooLarge,
        jpegTooLarge,
        heicShape,
        outOfMemory
    };

    // The largest sides libwebp accepts, libheif reads back and libjpeg writes.
    static constexpr int webpMaxSide = 16383;
    static constexpr int heicMaxSide = 32768;
    static constexpr int jpegMaxSide = 65500;

    static ImageError cannotRead(const QString& name);
    static ImageError cannotWrite(const QString& name);
    static ImageError webpTooLarge(qint64 width, qint64 height);
    // Sides past what readers of the format accept (libheif's security limit, libjpeg's).
    static ImageError heicTooLarge(qint64 width, qint64 height);
    static ImageError jpegTooLarge(qint64 width, qint64 height);
    // The HEVC encoder refuses very long, thin pictures (16384×1, 8192×16).
    static ImageError heicShape(qint64 width, qint64 height);
    static ImageError outOfMemory();

    Kind kind() const { return m_kind; }
    QString name() const { return m_name; }
    qint64 width() const { return m_width; }
    qint64 height() const { return m_height; }

private:
    ImageError(Kind kind, QString message, QString name = {}, qint64 width = 0, qint64 height = 0);

    Kind m_kind;
    QString m_name;
    qint64 m_width;
    qint64 m_height;
};

// Failures of the enhancement itself. `cancelled` is not a failure: the item returns to pending.
class UpscaleError : public EngineError {
public:
    enum class Kind { modelMissing, tooLarge, cancelled, badOutput };

    static UpscaleError modelMissing(const QString& model);
    static UpscaleError tooLarge(qint64 width, qint64 height);
    static UpscaleError cancelled();
    static UpscaleError badOutput();

    Kind kind() const { return m_kind; }
    qint64 width() const { return m_width; }
    qint64 height() const { return m_height; }

private:
    UpscaleError(Kind kind, QString message, qint64 width = 0, qint64 height = 0);

    Kind m_kind;
    qint64 m_width;
    qint64 m_height;
};

// An error whose text is exactly the message it was made with.
class MessageError : public EngineError {
public:
    using EngineError::EngineError;
};

// A failure of the operating system or a library, told in one short line.
class PlatformError : public EngineError {
public:
    using EngineError::EngineError;
};

bool isCancellation(const std::exception& error);
