#include "StatusText.h"

#include "kit/TextLabel.h"
#include "kit/TolvaneTheme.h"

#include <QEvent>
#include <QFontMetrics>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// Three lines never hold more than this many characters, so only this much is ever laid out.
constexpr qsizetype layoutPrefix = 1200;

// Up to `maxLines` lines of `text` at `width`, each fitting it; the last ends in "…" when text
// is left over.
QString firstLines(const QString& text, const QFont& font, int width, int maxLines)
{
    const QString prefix = text.left(layoutPrefix);
    QStringList lines;
    QString rest;
    const QStringList paragraphs = prefix.split(u'\n');
    for (qsizetype p = 0; p < paragraphs.size() && rest.isNull(); ++p) {
        QTextLayout layout(paragraphs[p], font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (lines.size() == maxLines) {
                rest = paragraphs[p].mid(line.textStart());
                break;
            }
            lines.append(paragraphs[p].mid(line.textStart(), line.textLength()));
        }
        layout.endLayout();
        if (rest.isNull() && lines.size() == maxLines && p + 1 < paragraphs.size())
            rest = paragraphs[p + 1];
    }
    if (rest.isNull() && prefix.size() < text.size())
        rest = QStringLiteral(" ");
    if (!rest.isNull() && !lines.isEmpty()) {
        // The last line runs on into the rest and is cut at the width with an ellipsis.
        const QFontMetrics metrics(font);
        QString last = lines.takeLast().trimmed() + u' ' + rest.left(layoutPrefix);
        lines.append(metrics.elidedText(last.simplified(), Qt::ElideRight, width));
    }
    for (QString& line : lines)
        if (line.endsWith(u' '))
            line.chop(1);
    return lines.join(u'\n');
}

QString toolTipOf(const QString& message)
{
    QString shown = message.left(StatusText::maxToolTipCharacters);
    if (shown.size() < message.size())
        shown += u'\u2026';
    return Qt::convertFromPlainText(shown, Qt::WhiteSpaceNormal);
}

} // namespace

StatusText::StatusText(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false); // the lines are broken here, at most three of them
    setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::caption));
    TextLabel::setColour(this, TolvaneTheme::muted());
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The width comes from the row; the text never asks for more.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusText::setMessage(const QString& message)
{
    if (message == m_message && message.isNull() == m_message.isNull())
        return;
    m_message = message;
    m_laidOutWidth = -1;
    relayout();
}

void StatusText::relayout()
{
    const int width = std::max(contentsRect().width(), 40);
    if (width == m_laidOutWidth)
        return;
    m_laidOutWidth = width;
    const QString shown = firstLines(m_message, font(), width, maxLines);
    setText(shown);
    setToolTip(shown == m_message ? QString() : toolTipOf(m_message));
}

void StatusText::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    relayout();
}

void StatusText::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_laidOutWidth = -1;
        relayout();
    }
}
