#include "EngineError.h"

EngineError::EngineError(QString message)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8())
{
}

ImageError::ImageError(Kind kind, QString message, QString name, qint64 width, qint64 height)
    : EngineError(std::move(message)), m_kind(kind), m_name(std::move(name)), m_width(width),
      m_height(height)
{
}

ImageError ImageError::cannotRead(const QString& name)
{
    return ImageError(Kind::cannotRead, QStringLiteral("Can't read ") + name, name);
}

ImageError ImageError::cannotWrite(const QString& name)
{
    return ImageError(Kind::cannotWrite, QStringLiteral("Can't write ") + name, name);
}

namespace {
// "WebP max is 16383 px per side (result is 16400×400). Pick PNG/HEIC/TIFF or a smaller scale."
QString sideLimit(const char* format, int maxSide, const char* instead, qint64 width, qint64 height)
{
    return QStringLiteral("%1 max is %2 px per side (result is %3×%4). Pick %5 or a smaller scale.")
        .arg(QLatin1String(format))
        .arg(maxSide)
        .arg(width)
        .arg(height)
        .arg(QLatin1String(instead));
}
} // namespace

ImageError ImageError::webpTooLarge(qint64 width, qint64 height)
{
    return ImageError(Kind::webpTooLarge, sideLimit("WebP", webpMaxSide, "PNG/HEIC/TIFF", width, height),
                      {}, width, height);
}

ImageError ImageError::heicTooLarge(qint64 width, qint64 height)
{
    return ImageError(Kind::heicTooLarge, sideLimit("HEIC", heicMaxSide, "PNG/TIFF", width, height), {},
                      width, height);
}

ImageError ImageError::jpegTooLarge(qint64 width, qint64 height)
{
    return ImageError(Kind::jpegTooLarge, sideLimit("JPEG", jpegMaxSide, "PNG/TIFF", width, height), {},
                      width, height);
}

ImageError ImageError::heicShape(qint64 width, qint64 height)
{
    return ImageError(Kind::heicShape,
                      QStringLiteral("HEIC can't hold a picture this narrow (result is %1×%2). "
                                     "Pick PNG/WebP/TIFF or another scale.")
                          .arg(width)
                          .arg(height),
                      {}, width, height);
}

ImageError ImageError::outOfMemory()
{
    return ImageError(Kind::outOfMemory, QStringLiteral("Not enough memory for this size"));
}

UpscaleError::UpscaleError(Kind kind, QString message, qint64 width, qint64 height)
    : EngineError(std::move(message)), m_kind(kind), m_width(width), m_height(height)
{
}

UpscaleError UpscaleError::modelMissing(const QString& model)
{
    return UpscaleError(Kind::modelMissing,
                        QStringLiteral("The %1 enhancement model is missing. Reinstall Tolvane to "
                                       "restore it.")
                            .arg(model));
}

UpscaleError UpscaleError::tooLarge(qint64 width, qint64 height)
{
    return UpscaleError(Kind::tooLarge,
                        QStringLiteral("Result would be %1×%2 — too large. Pick a smaller scale.")
                            .arg(width)
                            .arg(height),
                        width, height);
}

UpscaleError UpscaleError::cancelled()
{
    return UpscaleError(Kind::cancelled, QStringLiteral("Cancelled"));
}

UpscaleError UpscaleError::badOutput()
{
    return UpscaleError(Kind::badOutput, QStringLiteral("Unexpected model output"));
}

bool isCancellation(const std::exception& error)
{
    auto* upscale = dynamic_cast<const UpscaleError*>(&error);
    return upscale && upscale->kind() == UpscaleError::Kind::cancelled;
}
