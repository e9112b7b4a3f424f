#pragma once

#include "cloud/CloudRecords.h"

#include <QList>
#include <QString>
#include <optional>

// What the studio sheet shows and allows, as plain functions of its inputs.
namespace StudioRules {

// The model the sheet starts on.
inline const QString defaultModel = QStringLiteral("grok-1k-low");

// The text "Enhance clarity and detail" puts in the prompt.
extern const QString enhancementPrompt;

// The first model of the whole catalogue whose id is exactly `id`.
std::optional<CloudModel> selectedModel(const QList<CloudModel>& models, const QString& id);
// The picker's models in catalogue order: the available ones, and on the own-key route also
// those whose provider is exactly "xAI".
QList<CloudModel> listedModels(const QList<CloudModel>& models, bool ownKey);
int availableCount(const QList<CloudModel>& models);
// A picker row: the name, with " · Provider billing" on the own-key route.
QString modelRowText(const CloudModel& model, bool ownKey);
// Whether "Generate & Save…" may be pressed.
bool canGenerate(bool busy, const QString& prompt, const std::optional<CloudModel>& model,
                 bool ownKey, bool hasOwnKey);
QString uploadNote(bool useReference);

} // namespace StudioRules
