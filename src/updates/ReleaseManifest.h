#pragma once

#include <QSet>
#include <QString>
#include <optional>

// The list of every path a release archive installs, relative to the release folder, one per
// line (folders, files and links alike, the list itself included). tools/package writes it; a
// folder is Tolvane's alone exactly when it holds the list and nothing the list lacks.
namespace ReleaseManifest {
inline constexpr auto relativePath = "share/tolvane/release-manifest.txt";

// The paths listed in `folder`'s manifest; none when it has no readable one.
std::optional<QSet<QString>> read(const QString& folder);
// The first entry found in `folder`, at any depth, that `listed` lacks, as a relative path;
// empty when there is none. Links are listed, never followed.
QString firstUnlisted(const QString& folder, const QSet<QString>& listed);
// Whether `folder` holds exactly what its manifest lists, nothing more and nothing less.
bool isComplete(const QString& folder);
} // namespace ReleaseManifest
