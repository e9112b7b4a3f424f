#include "UpdateLabels.h"

#include "kit/Symbols.h"

#include <QApplication>
#include <QFrame>
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

QFrame* divider()
{
    auto* line = new QFrame;
    line->setFixedHeight(1);
    const QColor& ink = TolvaneTheme::ink();
    line->setStyleSheet(QStringLiteral("background-color: rgba(%1, %2, %3, 36);")
                            .arg(ink.red())
                            .arg(ink.green())
                            .arg(ink.blue()));
    return line;
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
