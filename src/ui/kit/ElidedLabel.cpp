#include "ElidedLabel.h"

#include <QAccessible>
#include <QEvent>
#include <QPainter>
#include <QStyle>

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setText(text);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == m_text && !m_shown.isNull())
        return;
    m_text = text;
    setAccessibleName(text);
    updateShown();
    updateGeometry();
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    m_mode = mode;
    updateShown();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(m_text) + 1, metrics.height()};
}

// Room for the ellipsis and a character on either side, so that something of the name stays.
QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const int least = metrics.horizontalAdvance(QStringLiteral("W…W"));
    return {std::min(least, sizeHint().width()), metrics.height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style()->drawItemText(&painter, rect(), int(m_alignment), palette(), isEnabled(), m_shown,
                          foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateShown();
}

void ElidedLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateShown();
        updateGeometry();
    }
}

void ElidedLabel::updateShown()
{
    // One line whatever the text holds: file names may contain line breaks.
    QString line = m_text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString shown = fontMetrics().elidedText(line, m_mode, width());
    if (shown == m_shown)
        return;
    m_shown = shown;
    update();
}
