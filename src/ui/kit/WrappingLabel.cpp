#include "WrappingLabel.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

WrappingLabel::WrappingLabel(const QString& text, QWidget* parent) : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setText(text);
}

void WrappingLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void WrappingLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

qreal WrappingLabel::layOut(QTextLayout& layout, qreal width) const
{
    QTextOption option(m_alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setText(m_text);
    layout.setFont(font());
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition({0, height});
        height += line.height();
    }
    layout.endLayout();
    return height;
}

QStringList WrappingLabel::lines(int width) const
{
    QTextLayout layout;
    layOut(layout, width);
    QStringList lines;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        lines << m_text.mid(line.textStart(), line.textLength());
    }
    return lines;
}

int WrappingLabel::heightForWidth(int width) const
{
    QTextLayout layout;
    return std::max(fontMetrics().height(), int(std::ceil(layOut(layout, width))));
}

// Unwrapped, the whole text on one line.
QSize WrappingLabel::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(m_text) + 1, metrics.height()};
}

QSize WrappingLabel::minimumSizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {std::min(metrics.horizontalAdvance(QStringLiteral("WWW")), sizeHint().width()),
            metrics.height()};
}

void WrappingLabel::paintEvent(QPaintEvent*)
{
    QTextLayout layout;
    const qreal height = layOut(layout, width());
    qreal top = 0;
    if (m_alignment & Qt::AlignVCenter)
        top = (this->height() - height) / 2;
    else if (m_alignment & Qt::AlignBottom)
        top = this->height() - height;
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Normal : QPalette::Disabled, foregroundRole()));
    layout.draw(&painter, {0, top});
}

void WrappingLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}
