#pragma once

#include "kit/TolvaneTheme.h"

#include <QColor>

class QLabel;
class QWidget;

// Small pieces shared by the update views.
namespace UpdateLabels {
// The running application's icon at px × px.
QLabel* applicationIcon(int px);
// The icon beside the product's name over `subtitle`, the two lines centred on the icon.
QWidget* productHeader(QLabel* subtitle);
} // namespace UpdateLabels
