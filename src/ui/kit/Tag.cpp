#include "Tag.h"

#include "TolvaneTheme.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int padX = 8;
constexpr int padY = 4;
constexpr int outside = 10;
// A thin dark material: readable over a white picture and over a black one alike.
const QColor backing(18, 20, 24, 184);

QFont tagFont()
{
    QFont font = TolvaneTheme::font(TolvaneTheme::TextStyle::caption);
    font.setWeight(QFont::DemiBold);
    return font;
}
} // namespace

Tag::Tag(const QString& text, QWidget* parent) : QWidget(parent), m_text(text)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(tagFont());
    resize(sizeHint());
}

QSize Tag::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_text) + 2 * (padX + outside),
            metrics.height() + 2 * (padY + outside)};
}

QRect Tag::capsule() const
{
    return rect().adjusted(outside, outside, -outside, -outside);
}

void Tag::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = capsule();
    QPainterPath path;
    path.addRoundedRect(box, box.height() / 2, box.height() / 2);
    painter.fillPath(path, backing);
    painter.setPen(TolvaneTheme::ink());
    painter.drawText(box, Qt::AlignCenter, m_text);
}
