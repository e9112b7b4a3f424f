#include "UpdateLabels.h"

#include <QApplication>
#include <QLabel>

namespace UpdateLabels {

QLabel* text(const QString& text, TolvaneTheme::TextStyle style, const QColor& colour)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(TolvaneTheme::font(style));
    if (colour.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Active, QPalette::WindowText, colour);
        palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    return label;
}

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
