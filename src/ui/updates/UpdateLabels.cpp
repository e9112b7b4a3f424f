#include "UpdateLabels.h"

#include <QApplication>
#include <QLabel>

namespace UpdateLabels {

QLabel* applicationIcon(int px)
{
    auto* label = new QLabel;
    label->setFixedSize(px, px);
    // The running application's icon; the product's own before the application has set one.
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull() || icon.availableSizes().isEmpty())
        icon = TolvaneTheme::applicationIcon();
    label->setPixmap(icon.pixmap(px, px));
    return label;
}

} // namespace UpdateLabels
