#pragma once

#include "core/JobSettings.h"

#include <QString>
#include <functional>

class CancelToken;
class ModelStore;

// Turns one source file into one finished output file under a new name.
namespace Pipeline {

using Progress = std::function<void(double)>;
// Anything with run()'s shape: the batch and the self-test take one so tests can substitute it.
using Runner =
    std::function<QString(const QString&, const JobSettings&, const CancelToken&, const Progress&)>;

// Checks the size limits, decodes, enlarges (one or two 4x passes, halving where the factor is
// not a power of four), writes to a hidden temporary file beside the chosen name and moves it
// into place without replacing anything. Returns the output path. Progress is reported on the
// calling thread and ends with exactly 1.0. Throws the engine's errors unchanged; no temporary
// file survives a throw and the source is never touched.
QString run(const QString& path, const JobSettings& settings, const CancelToken& token,
            const Progress& progress, ModelStore& models);
QString run(const QString& path, const JobSettings& settings, const CancelToken& token,
            const Progress& progress);

// The largest result, in pixels, the engine produces.
constexpr double maxOutputPixels = 300'000'000.0;

// Number of 232-pixel tile cores a 4x pass runs over a width x height input.
qint64 tileCount(qint64 width, qint64 height);

// folder/stem[_Nx].ext, or "stem[_Nx] n.ext" with the first free n from 2 when that exists.
QString outputPath(const QString& source, const QString& outputFolder, ScaleFactor scale,
                   OutputFormat resolvedFormat);

// The hidden file a result is written to before the final move: ".tolvane-<UUID>.<ext>" in the
// folder of `finalPath`.
QString temporaryPath(const QString& finalPath);

} // namespace Pipeline
