#include "TextLabel.h"

#include <QLabel>
#include <QTextDocument>

namespace TextLabel {

QLabel* make(const QString& text, TolvaneTheme::TextStyle style, const QColor& colour)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(TolvaneTheme::font(style));
    if (colour.isValid())
        setColour(label, colour);
    return label;
}

void setColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QString plainToolTip(const QString& text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

} // namespace TextLabel
