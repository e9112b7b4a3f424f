#include "JobSettings.h"

#include "FileNames.h"

namespace {
// The case whose raw value is exactly `raw`, if any.
template <typename Enum, typename Raw>
std::optional<Enum> fromRaw(const QList<Enum>& cases, const Raw& raw)
{
    for (Enum value : cases)
        if (rawValue(value) == raw)
            return value;
    return std::nullopt;
}
} // namespace

int rawValue(ScaleFactor scale)
{
    return static_cast<int>(scale);
}

QString label(ScaleFactor scale)
{
    if (scale == ScaleFactor::x1)
        return QStringLiteral("1× Convert");
    return QString::number(rawValue(scale)) + QStringLiteral("×");
}

std::optional<ScaleFactor> scaleFactorFromRaw(int raw)
{
    return fromRaw(allScaleFactors(), raw);
}

const QList<ScaleFactor>& allScaleFactors()
{
    static const QList<ScaleFactor> all{ScaleFactor::x1, ScaleFactor::x2, ScaleFactor::x4,
                                        ScaleFactor::x8, ScaleFactor::x16};
    return all;
}

QString rawValue(SRModel model)
{
    return model == SRModel::photo ? QStringLiteral("PhotoX4") : QStringLiteral("IllustrationX4");
}

std::optional<SRModel> srModelFromRaw(const QString& raw)
{
    return fromRaw(allModels(), raw);
}

const QList<SRModel>& allModels()
{
    static const QList<SRModel> all{SRModel::photo, SRModel::illustration};
    return all;
}

QString rawValue(OutputFormat format)
{
    switch (format) {
    case OutputFormat::same:
        return QStringLiteral("Same as source");
    case OutputFormat::png:
        return QStringLiteral("PNG");
    case OutputFormat::jpeg:
        return QStringLiteral("JPEG");
    case OutputFormat::webp:
        return QStringLiteral("WebP");
    case OutputFormat::heic:
        return QStringLiteral("HEIC");
    case OutputFormat::tiff:
        return QStringLiteral("TIFF");
    case OutputFormat::svg:
        return QStringLiteral("SVG vector");
    }
    return {};
}

std::optional<OutputFormat> outputFormatFromRaw(const QString& raw)
{
    return fromRaw(allOutputFormats(), raw);
}

const QList<OutputFormat>& allOutputFormats()
{
    static const QList<OutputFormat> all{OutputFormat::same, OutputFormat::png,  OutputFormat::jpeg,
                                         OutputFormat::webp, OutputFormat::heic, OutputFormat::tiff,
                                         OutputFormat::svg};
    return all;
}

QString fileExtension(OutputFormat format)
{
    switch (format) {
    case OutputFormat::same:
    case OutputFormat::png:
        return QStringLiteral("png");
    case OutputFormat::jpeg:
        return QStringLiteral("jpg");
    case OutputFormat::webp:
        return QStringLiteral("webp");
    case OutputFormat::heic:
        return QStringLiteral("heic");
    case OutputFormat::tiff:
        return QStringLiteral("tiff");
    case OutputFormat::svg:
        return QStringLiteral("svg");
    }
    return {};
}

OutputFormat resolved(OutputFormat format, const QString& sourcePath)
{
    if (format != OutputFormat::same)
        return format;
    const QString ext = FileNames::pathExtension(sourcePath).toLower();
    if (ext == u"jpg" || ext == u"jpeg")
        return OutputFormat::jpeg;
    if (ext == u"webp")
        return OutputFormat::webp;
    if (ext == u"heic" || ext == u"heif")
        return OutputFormat::heic;
    if (ext == u"tif" || ext == u"tiff")
        return OutputFormat::tiff;
    return OutputFormat::png;
}
