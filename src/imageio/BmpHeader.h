#pragma once

#include <QIODevice>
#include <QSize>
#include <optional>

// Qt cannot tell the size of a top-down BMP (negative height) from its header, though it decodes
// it; this reads the size itself.
namespace BmpHeader {
// Width and height of a BMP with a Windows info header, top-down or bottom-up.
std::optional<QSize> size(QIODevice& file);
} // namespace BmpHeader
