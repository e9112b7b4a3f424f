#pragma once

// Files that outlive the process in "Tolvane/Compiled", in our own frame: a tag naming what they
// hold, the data's size and a checksum, so that a truncated, altered or foreign file is never
// trusted.

#include <QByteArray>
#include <QString>

namespace sr {

// Where such files live: "Tolvane/Compiled" under the user's data folder.
QString compiledFolder();

// The framed data, or nothing when the file is missing, holds more than `maxBytes` of data, is
// tagged otherwise, truncated or altered.
QByteArray readFramed(const QString& path, const char (&tag)[8], qint64 maxBytes);

// Replaces the file at once (never half written); false with the reason on failure.
bool writeFramed(const QString& path, const char (&tag)[8], const QByteArray& data, QString* error);

} // namespace sr
