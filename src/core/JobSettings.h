#pragma once

#include <QList>
#include <QString>
#include <optional>

enum class ScaleFactor { x1 = 1, x2 = 2, x4 = 4, x8 = 8, x16 = 16 };
enum class SRModel { photo, illustration };
enum class OutputFormat { same, png, jpeg, webp, heic, tiff, svg };

int rawValue(ScaleFactor scale);
QString label(ScaleFactor scale);
std::optional<ScaleFactor> scaleFactorFromRaw(int raw);
const QList<ScaleFactor>& allScaleFactors();

// The raw value is also the model file's base name.
QString rawValue(SRModel model);
std::optional<SRModel> srModelFromRaw(const QString& raw);
const QList<SRModel>& allModels();

// The raw value is the picker's label and the stored setting.
QString rawValue(OutputFormat format);
std::optional<OutputFormat> outputFormatFromRaw(const QString& raw);
const QList<OutputFormat>& allOutputFormats();
// Extension written for a resolved format; `same` has none of its own and answers "png".
QString fileExtension(OutputFormat format);
// The format actually written for a source: never `same`; `same` follows the source's extension.
OutputFormat resolved(OutputFormat format, const QString& sourcePath);

// One batch's settings, fixed when the batch starts.
struct JobSettings {
    ScaleFactor scale = ScaleFactor::x2;
    SRModel model = SRModel::photo;
    OutputFormat format = OutputFormat::same;
    double quality = 0.92;
    bool webpLossless = false;
    QString outputFolder; // empty: beside each source
};
