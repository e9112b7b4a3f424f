#pragma once

#include "core/JobSettings.h"

#include <QList>
#include <QSize>
#include <QString>

class AppState;

// What the settings column shows and writes, as plain functions of the store's values, so every
// text and rule is decided in one place and tested without widgets.
namespace SettingsRules {

// The workflow picker's value; never stored, always derived from the format and the scale.
enum class Workflow { enhance = 0, convert = 1, vector = 2 };

// svg is Vector whatever the scale; otherwise 1x is Convert; anything else is Enhance.
Workflow workflow(ScaleFactor scale, OutputFormat format);
// Convert: 1x then PNG. Vector: 1x then svg. Enhance: 2x, and PNG only when the format was svg.
// The model is never touched.
void setWorkflow(AppState& state, Workflow workflow);

// Which block the workflow section shows: looks at the scale first, the format only at 1x.
enum class WorkflowBlock { enlargement, vector, convert };
WorkflowBlock workflowBlock(ScaleFactor scale, OutputFormat format);
QString modelCaption(SRModel model);
QString vectorCaption();
QString convertCaption();
// "Enlarge 4 times".
QString scaleAccessibleName(ScaleFactor scale);

struct Preset {
    QString title;
    ScaleFactor scale;
    SRModel model;
    OutputFormat format;
};
// The quick presets, in menu order; a separator follows the third.
const QList<Preset>& presets();
constexpr int presetSeparatorAfter = 3;
// Writes the scale, the model and the format, in that order, every time, even when unchanged.
void preset(AppState& state, ScaleFactor scale, SRModel model, OutputFormat format);

// Lossy formats, and "same" because the source may be one.
bool showsQuality(OutputFormat format);
bool showsLosslessToggle(OutputFormat format);
bool qualityAdjustable(OutputFormat format, bool webpLossless);
// Whole percent, truncated: 0.57 shows "56%".
QString qualityPercent(double quality);
// The quality slider works in thousandths over 500...1000.
constexpr int sliderMinimum = 500;
constexpr int sliderMaximum = 1000;
int sliderPosition(double quality);
double qualityFromSlider(int position);

// "Vectorize", "Convert" or "Enhance": the format decides before the scale.
QString actionVerb(ScaleFactor scale, OutputFormat format);
QString actionTitle(ScaleFactor scale, OutputFormat format, int pendingCount, int queueCount);
QString runIconName(ScaleFactor scale, OutputFormat format);
QString queueCaption(int pendingCount, int queueCount);

// "W × H px" at the chosen scale.
QString outputSizeText(QSize pixelSize, ScaleFactor scale);
QString previewCaption(ScaleFactor scale, OutputFormat format);

// The folder menu's label and tooltip; an empty folder means beside each original.
QString folderLabel(const QString& folder);
QString folderToolTip(const QString& folder);

} // namespace SettingsRules
