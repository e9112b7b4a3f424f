#include "AquaButton.h"

#include "Symbols.h"
#include "TolvaneTheme.h"

#include <QApplication>
#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

namespace {

constexpr qreal pressedScale = 0.97;
constexpr int pressDurationMs = 160;
constexpr int symbolSpacing = 6;

QColor withAlpha(QColor colour, double alpha)
{
    colour.setAlphaF(float(alpha));
    return colour;
}

QString plainText(QString text)
{
    // Mnemonic markers are not shown; "&&" is a literal ampersand.
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

} // namespace

AquaButton::AquaButton(const QString& text, bool prominent, QWidget* parent)
    : QPushButton(text, parent), m_prominent(prominent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    setFont(labelFont(m_controlSize));
    m_animation = new QVariantAnimation(this);
    m_animation->setDuration(pressDurationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_scale = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::pressed, this, [this] { pressChanged(true); });
    connect(this, &QAbstractButton::released, this, [this] { pressChanged(false); });
    m_shadow = new QGraphicsDropShadowEffect(this);
    setGraphicsEffect(m_shadow);
    updateShadow();
}

void AquaButton::setProminent(bool prominent)
{
    if (m_prominent == prominent)
        return;
    m_prominent = prominent;
    updateShadow();
    update();
}

void AquaButton::setControlSize(ControlSize size)
{
    if (m_controlSize == size)
        return;
    m_controlSize = size;
    setFont(labelFont(size));
    updateGeometry();
    update();
}

void AquaButton::setSymbol(const QString& name)
{
    m_symbol = name;
    updateGeometry();
    update();
}

QFont AquaButton::labelFont(ControlSize size)
{
    QFont font = QApplication::font();
    font.setPixelSize(size == ControlSize::large ? 13 : 12);
    font.setWeight(QFont::DemiBold);
    return font;
}

QMargins AquaButton::padding(ControlSize size)
{
    const int horizontal = size == ControlSize::small ? 12 : 18;
    const int vertical = size == ControlSize::large ? 11 : 7;
    return {horizontal, vertical, horizontal, vertical};
}

int AquaButton::symbolSize() const
{
    if (m_symbol.isEmpty() && icon().isNull())
        return 0;
    return labelFont(m_controlSize).pixelSize() + 2;
}

QSize AquaButton::sizeHint() const
{
    const QFontMetrics metrics(labelFont(m_controlSize));
    const QString label = plainText(text());
    const int symbol = symbolSize();
    int width = label.isEmpty() ? 0 : metrics.horizontalAdvance(label);
    if (symbol > 0)
        width += symbol + (label.isEmpty() ? 0 : symbolSpacing);
    const int height = qMax(metrics.height(), symbol);
    const QMargins pad = padding(m_controlSize);
    return {width + pad.left() + pad.right(), height + pad.top() + pad.bottom()};
}

QSize AquaButton::minimumSizeHint() const
{
    return sizeHint();
}

void AquaButton::pressChanged(bool down)
{
    const qreal target = down ? pressedScale : 1.0;
    m_animation->stop();
    if (TolvaneTheme::reduceMotion()) {
        m_scale = 1.0;
        update();
        return;
    }
    m_animation->setStartValue(m_scale);
    m_animation->setEndValue(target);
    m_animation->start();
}

void AquaButton::updateShadow()
{
    // A disabled button is painted at 40 % opacity; the shadow follows the painted alpha.
    if (m_prominent) {
        m_shadow->setColor(withAlpha(TolvaneTheme::accent(), 0.15));
        m_shadow->setBlurRadius(20);
    } else {
        m_shadow->setColor(withAlpha(Qt::black, 0.16));
        m_shadow->setBlurRadius(6);
    }
    m_shadow->setOffset(0, 3);
}

void AquaButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QPushButton::changeEvent(event);
}

QPixmap AquaButton::symbolPixmap(const QColor& colour) const
{
    const int side = symbolSize();
    if (!m_symbol.isEmpty())
        return Symbols::pixmap(m_symbol, colour, side);
    return icon().pixmap(side, isEnabled() ? QIcon::Normal : QIcon::Disabled);
}

void AquaButton::paintEvent(QPaintEvent*)
{
    // Programmatic setDown() changes no press signal: follow it without animating.
    if (m_animation->state() != QAbstractAnimation::Running && !TolvaneTheme::reduceMotion())
        m_scale = isDown() ? pressedScale : 1.0;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : 0.4);
    const QRectF bounds = rect();
    painter.translate(bounds.center());
    painter.scale(m_scale, m_scale);
    painter.translate(-bounds.center());

    const qreal radius = bounds.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, radius, radius);
    QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
    if (m_prominent) {
        fill.setColorAt(0, TolvaneTheme::ink());
        fill.setColorAt(1, withAlpha(TolvaneTheme::accent(), 0.94));
    } else {
        fill.setColorAt(0, withAlpha(TolvaneTheme::raised(), 0.9));
        fill.setColorAt(1, withAlpha(TolvaneTheme::panel(), 0.72));
    }
    painter.fillPath(capsule, fill);

    const QRectF inner = bounds.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient border(inner.topLeft(), inner.bottomRight());
    border.setColorAt(0, withAlpha(Qt::white, 0.45));
    border.setColorAt(1, withAlpha(TolvaneTheme::accent(), 0.12));
    painter.setPen(QPen(QBrush(border), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(inner, radius - 0.5, radius - 0.5);

    const QColor foreground = m_prominent ? TolvaneTheme::background() : TolvaneTheme::ink();
    const QFont font = labelFont(m_controlSize);
    const QString label = plainText(text());
    const QFontMetrics metrics(font);
    const int symbol = symbolSize();
    int contentWidth = label.isEmpty() ? 0 : metrics.horizontalAdvance(label);
    if (symbol > 0)
        contentWidth += symbol + (label.isEmpty() ? 0 : symbolSpacing);
    qreal x = bounds.center().x() - contentWidth / 2.0;
    if (symbol > 0) {
        const QPixmap pixmap = symbolPixmap(foreground);
        painter.drawPixmap(QPointF(x, bounds.center().y() - symbol / 2.0), pixmap);
        x += symbol + symbolSpacing;
    }
    if (!label.isEmpty()) {
        painter.setFont(font);
        painter.setPen(foreground);
        const QRectF textRect(x, bounds.top(), bounds.right() - x, bounds.height());
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, label);
    }
}
