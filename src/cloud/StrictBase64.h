#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Standard Base64 with nothing tolerated: the length is a multiple of four, padding only at the
// end, no line breaks or other characters. Nothing for any other text.
std::optional<QByteArray> strictBase64Decode(const QString& text);
