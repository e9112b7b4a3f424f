#pragma once

#include "HeldEntry.h"

#include <QString>
#include <functional>

// The updater's own entries beside an installation, each under a hidden name
// ".tolvane-<kind>-<UUID>": downloaded archives, staging folders and old trees moved aside. One
// in use is held (HeldEntry), so one that nobody holds is what an interrupted update left.
namespace UpdateLeftovers {
enum class Kind { download, staging, oldTree };

// A new entry of that kind in `folder`, made and held; invalid when none could be made.
HeldEntry create(const QString& folder, Kind kind);
// A fresh path of that kind in `folder`, for an entry that gets there by a rename.
QString newPath(const QString& folder, Kind kind);
// Calls `use` with each entry of that kind in `folder` that nobody holds, while holding it,
// until `use` returns true.
void forEachUnused(const QString& folder, Kind kind, const std::function<bool(HeldEntry&)>& use);
// Removes every entry in `folder` that nobody holds. Other names are never touched.
void removeUnused(const QString& folder);
} // namespace UpdateLeftovers
