#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// The application's symbols, bundled as SVG and tinted at run time. Names are the product's own
// symbol names ("sparkles", "key.fill", "arrow.down.circle"...).
namespace Symbols {

// The symbol at px × px logical pixels in one colour; null for an unknown name.
QPixmap pixmap(const QString& name, const QColor& colour, int px);
// The same as an icon, with a muted disabled state.
QIcon icon(const QString& name, const QColor& colour, int px);

} // namespace Symbols
