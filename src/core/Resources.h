#pragma once

#include <QJsonObject>
#include <QString>

// The folder of the program's resources: <exe>/../share/tolvane when that exists (installed, or
// the build tree, which mirrors it), else the source tree's resources/. Resolved on the first call
// (the icon, at start-up) and kept for the life of the process.
namespace Resources {
QString folder();
// Absolute path of a resource; it may not exist (optional resources are skipped by callers).
QString path(const QString& name);
// Info.json: the version and optional service keys, read once. Empty when missing or unreadable.
QJsonObject info();
// The Info.json of another resource folder (an unpacked release), read now; empty when missing,
// unreadable or larger than any real one.
QJsonObject readInfo(const QString& resourceFolder);
} // namespace Resources
