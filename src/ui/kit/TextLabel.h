#pragma once

#include "TolvaneTheme.h"

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

namespace TextLabel {

// Plain text (never rich text) in a text style, wrapping; `colour` for the enabled states, the
// palette's dimmed text when disabled.
QLabel* make(const QString& text, TolvaneTheme::TextStyle style, const QColor& colour = {});
// Text drawn in `colour` in every state but disabled.
void setColour(QWidget* widget, const QColor& colour);
// `text` as a tooltip shows it, character for character: tooltips read anything that looks like
// markup as rich text, so such a text is escaped.
QString plainToolTip(const QString& text);

} // namespace TextLabel
