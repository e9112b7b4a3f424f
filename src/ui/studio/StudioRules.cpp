#include "StudioRules.h"

namespace StudioRules {

const QString enhancementPrompt = QStringLiteral(
    "Improve clarity, reduce compression artifacts and noise, and enhance fine detail. Preserve "
    "the original composition, subject identity, colors, and any text. Do not add objects or "
    "change the scene.");

std::optional<CloudModel> selectedModel(const QList<CloudModel>& models, const QString& id)
{
    for (const CloudModel& model : models)
        if (model.id == id)
            return model;
    return std::nullopt;
}

QList<CloudModel> listedModels(const QList<CloudModel>& models, bool ownKey)
{
    QList<CloudModel> listed;
    for (const CloudModel& model : models)
        if (model.available || (ownKey && model.provider == u"xAI"))
            listed.append(model);
    return listed;
}

int availableCount(const QList<CloudModel>& models)
{
    return int(std::count_if(models.begin(), models.end(),
                             [](const CloudModel& model) { return model.available; }));
}

QString modelRowText(const CloudModel& model, bool ownKey)
{
    return ownKey ? model.name + QStringLiteral(" · Provider billing") : model.name;
}

bool canGenerate(bool busy, const QString& prompt, const std::optional<CloudModel>& model,
                 bool ownKey, bool hasOwnKey)
{
    if (busy || prompt.isEmpty() || !model)
        return false;
    return ownKey ? hasOwnKey : model->available;
}

QString uploadNote(bool useReference)
{
    return useReference
               ? QStringLiteral("Uploads a preview up to 1024px and your prompt to the selected "
                                "provider. Generative edits can change details; inspect the "
                                "result.")
               : QStringLiteral("Sends your prompt to the selected image provider. Your local "
                                "image queue is not uploaded.");
}

} // namespace StudioRules
