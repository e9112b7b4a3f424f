#pragma once

#include "core/EngineError.h"

#include <QString>

// The two ways an update ends without being installed, worded once.
namespace UpdateErrors {

inline MessageError installFailed(const QString& why)
{
    return MessageError(QStringLiteral("The update could not be installed: %1").arg(why));
}

inline MessageError refused(const QString& why)
{
    return MessageError(QStringLiteral("The update was refused: %1").arg(why));
}

} // namespace UpdateErrors
