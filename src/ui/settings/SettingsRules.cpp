#include "SettingsRules.h"

#include "store/AppState.h"

#include <QDir>
#include <algorithm>
#include <cmath>

namespace SettingsRules {

Workflow workflow(ScaleFactor scale, OutputFormat format)
{
    if (format == OutputFormat::svg)
        return Workflow::vector;
    return scale == ScaleFactor::x1 ? Workflow::convert : Workflow::enhance;
}

void setWorkflow(AppState& state, Workflow workflow)
{
    switch (workflow) {
    case Workflow::convert:
        state.setScale(ScaleFactor::x1);
        state.setFormat(OutputFormat::png);
        return;
    case Workflow::vector:
        state.setScale(ScaleFactor::x1);
        state.setFormat(OutputFormat::svg);
        return;
    case Workflow::enhance:
        break;
    }
    state.setScale(ScaleFactor::x2);
    if (state.format() == OutputFormat::svg)
        state.setFormat(OutputFormat::png);
}

WorkflowBlock workflowBlock(ScaleFactor scale, OutputFormat format)
{
    if (scale != ScaleFactor::x1)
        return WorkflowBlock::enlargement;
    return format == OutputFormat::svg ? WorkflowBlock::vector : WorkflowBlock::convert;
}

QString modelCaption(SRModel model)
{
    return model == SRModel::photo ? QStringLiteral("Real-world photos, faces, textures")
                                   : QStringLiteral("Graphics, text, thumbnails, logos, anime");
}

QString vectorCaption()
{
    return QStringLiteral("Create editable SVG paths in up to 8 colors. Best for logos, icons and "
                          "flat illustrations. Photos become simplified vector artwork; tracing "
                          "samples up to 768px.");
}

QString convertCaption()
{
    return QStringLiteral("Change format at the original dimensions.");
}

QString scaleAccessibleName(ScaleFactor scale)
{
    return QStringLiteral("Enlarge %1 times").arg(rawValue(scale));
}

const QList<Preset>& presets()
{
    static const QList<Preset> all{
        {QStringLiteral("Photo · 2× · PNG"), ScaleFactor::x2, SRModel::photo, OutputFormat::png},
        {QStringLiteral("Photo · 4× · PNG"), ScaleFactor::x4, SRModel::photo, OutputFormat::png},
        {QStringLiteral("Illustration · 4× · PNG"), ScaleFactor::x4, SRModel::illustration,
         OutputFormat::png},
        {QStringLiteral("Convert to WebP"), ScaleFactor::x1, SRModel::photo, OutputFormat::webp},
        {QStringLiteral("Convert to PNG"), ScaleFactor::x1, SRModel::photo, OutputFormat::png},
        {QStringLiteral("Vectorize to SVG"), ScaleFactor::x1, SRModel::illustration,
         OutputFormat::svg},
    };
    return all;
}

void preset(AppState& state, ScaleFactor scale, SRModel model, OutputFormat format)
{
    state.setScale(scale);
    state.setModel(model);
    state.setFormat(format);
}

bool showsQuality(OutputFormat format)
{
    switch (format) {
    case OutputFormat::jpeg:
    case OutputFormat::webp:
    case OutputFormat::heic:
    case OutputFormat::same:
        return true;
    case OutputFormat::png:
    case OutputFormat::tiff:
    case OutputFormat::svg:
        break;
    }
    return false;
}

bool showsLosslessToggle(OutputFormat format)
{
    return format == OutputFormat::webp || format == OutputFormat::same;
}

bool qualityAdjustable(OutputFormat format, bool webpLossless)
{
    return !(format == OutputFormat::webp && webpLossless);
}

QString qualityPercent(double quality)
{
    const double percent = quality * 100.0;
    // A hand-edited settings file can hold anything; converting a value outside long long's range
    // (or NaN) would be undefined, so such values are pinned before the truncation.
    constexpr double limit = 1e15;
    long long whole = 0;
    if (std::isnan(percent))
        whole = 0;
    else if (percent >= limit || percent <= -limit)
        whole = percent > 0 ? static_cast<long long>(limit) : -static_cast<long long>(limit);
    else
        whole = static_cast<long long>(percent);
    return QString::number(whole) + QLatin1Char('%');
}

int sliderPosition(double quality)
{
    if (std::isnan(quality))
        return sliderMinimum;
    const double clamped =
        std::clamp(quality * 1000.0, double(sliderMinimum), double(sliderMaximum));
    return int(std::lround(clamped));
}

double qualityFromSlider(int position)
{
    return position / 1000.0;
}

QString actionVerb(ScaleFactor scale, OutputFormat format)
{
    if (format == OutputFormat::svg)
        return QStringLiteral("Vectorize");
    return scale == ScaleFactor::x1 ? QStringLiteral("Convert") : QStringLiteral("Enhance");
}

QString actionTitle(ScaleFactor scale, OutputFormat format, int pendingCount, int queueCount)
{
    const QString verb = actionVerb(scale, format);
    if (pendingCount >= 2)
        return verb + QLatin1Char(' ') + QString::number(pendingCount) + QStringLiteral(" Images");
    if (pendingCount == 1 || queueCount == 0)
        return verb + QStringLiteral(" Image");
    return verb + QStringLiteral(" Again");
}

QString runIconName(ScaleFactor scale, OutputFormat format)
{
    if (format == OutputFormat::svg)
        return QStringLiteral("point.topleft.down.curvedto.point.bottomright.up");
    return scale == ScaleFactor::x1 ? QStringLiteral("arrow.triangle.2.circlepath")
                                    : QStringLiteral("sparkles");
}

QString queueCaption(int pendingCount, int queueCount)
{
    if (queueCount == 0)
        return QStringLiteral("Add images to get started");
    const int count = pendingCount > 0 ? pendingCount : queueCount;
    return QString::number(count) + QStringLiteral(" in queue");
}

QString outputSizeText(QSize pixelSize, ScaleFactor scale)
{
    const qint64 factor = rawValue(scale);
    return QString::number(qint64(pixelSize.width()) * factor) + QStringLiteral(" × ") +
           QString::number(qint64(pixelSize.height()) * factor) + QStringLiteral(" px");
}

QString previewCaption(ScaleFactor scale, OutputFormat format)
{
    if (format == OutputFormat::svg)
        return QStringLiteral("Scalable SVG · Real paths, no embedded bitmap");
    if (scale == ScaleFactor::x1)
        return QStringLiteral("Output dimensions · First frame only for animated inputs");
    return QStringLiteral("Output dimensions · AI can change fine details");
}

QString folderLabel(const QString& folder)
{
    if (folder.isEmpty())
        return QStringLiteral("Next to originals");
    const QString clean = QDir::cleanPath(folder);
    if (clean == QStringLiteral("/"))
        return clean;
    return clean.section(QLatin1Char('/'), -1);
}

QString folderToolTip(const QString& folder)
{
    return folder.isEmpty() ? QStringLiteral("Results are saved beside the originals") : folder;
}

} // namespace SettingsRules
