#pragma once

#include "kit/TolvaneTheme.h"

#include <QColor>

class QLabel;

// Small pieces shared by the update views.
namespace UpdateLabels {
// Plain text (never rich text) in a text style; `colour` for the enabled states, the palette's
// disabled text otherwise. Long texts wrap.
QLabel* text(const QString& text, TolvaneTheme::TextStyle style, const QColor& colour = {});
// The running application's icon at px × px.
QLabel* applicationIcon(int px);
} // namespace UpdateLabels
