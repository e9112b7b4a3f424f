#include "Inference.h"

#include "ModelPrivate.h"

#include <QByteArray>
#include <QtGlobal>

namespace sr {

Inference inferenceFromEnvironment()
{
    const QByteArray value = qgetenv("TOLVANE_INFERENCE").trimmed().toLower();
    if (value == "cpu")
        return Inference::cpu;
    if (value == "vulkan")
        return Inference::vulkan;
    if (value == "measure")
        return Inference::measure;
    if (!value.isEmpty() && value != "auto")
        qCWarning(lcModel) << "TOLVANE_INFERENCE should be cpu, vulkan, measure or auto, not"
                           << value;
    return Inference::automatic;
}

} // namespace sr
