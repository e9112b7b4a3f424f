#pragma once

#include <QString>

namespace SvgSanitizer {

// The text without any `image` or `feImage` element (whatever its namespace prefix) that
// refers to anything but a data: URL. An element with no reference at all draws nothing and
// is kept. Everything else, including malformed markup, passes through unchanged.
QString withoutExternalImages(const QString& svg);

} // namespace SvgSanitizer
