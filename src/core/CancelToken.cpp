#include "CancelToken.h"

#include "EngineError.h"

void CancelToken::check() const
{
    if (isCancelled())
        throw UpscaleError::cancelled();
}
