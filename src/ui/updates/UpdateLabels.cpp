#include "UpdateLabels.h"

#include "kit/Symbols.h"

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
    const QIcon icon = QApplication::windowIcon();
    label->setPixmap(icon.isNull()
                         ? Symbols::pixmap(QStringLiteral("sparkles"), TolvaneTheme::accent(), px)
                         : icon.pixmap(px, px));
    return label;
}

} // namespace UpdateLabels
