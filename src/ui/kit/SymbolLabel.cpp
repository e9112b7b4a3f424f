#include "SymbolLabel.h"

#include "Symbols.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

SymbolLabel::SymbolLabel(const QString& symbol, const QString& text, const QColor& colour,
                         QWidget* parent)
    : QWidget(parent), m_symbol(symbol), m_colour(colour), m_icon(new QLabel),
      m_text(new QLabel(text))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(m_icon, 0, Qt::AlignVCenter);
    layout->addWidget(m_text, 1, Qt::AlignVCenter);
    m_text->setTextFormat(Qt::PlainText);
    setColour(colour);
}

QString SymbolLabel::text() const
{
    return m_text->text();
}

void SymbolLabel::setSymbol(const QString& symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    updateSymbol();
}

void SymbolLabel::setText(const QString& text)
{
    m_text->setText(text);
}

void SymbolLabel::setColour(const QColor& colour)
{
    m_colour = colour;
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, colour);
    m_text->setPalette(palette);
    updateSymbol();
}

void SymbolLabel::setSpacing(int spacing)
{
    layout()->setSpacing(spacing);
}

void SymbolLabel::setWordWrap(bool wraps)
{
    m_text->setWordWrap(wraps);
    // An aligned item gets its one-line height; a wrapping text must fill its row instead.
    auto* row = static_cast<QHBoxLayout*>(layout());
    row->setAlignment(m_icon, wraps ? Qt::AlignTop : Qt::AlignVCenter);
    row->setAlignment(m_text, wraps ? Qt::Alignment() : Qt::AlignVCenter);
}

int SymbolLabel::symbolSize() const
{
    return qRound(QFontInfo(font()).pixelSize() * 1.25);
}

void SymbolLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateSymbol();
}

void SymbolLabel::updateSymbol()
{
    const QPixmap pixmap = Symbols::pixmap(m_symbol, m_colour, symbolSize());
    m_icon->setPixmap(pixmap);
    m_icon->setVisible(!pixmap.isNull());
}
