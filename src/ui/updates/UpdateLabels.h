#pragma once

#include "kit/TolvaneTheme.h"

#include <QColor>

class QLabel;

// Small pieces shared by the update views.
namespace UpdateLabels {
// The running application's icon at px × px.
QLabel* applicationIcon(int px);
} // namespace UpdateLabels
