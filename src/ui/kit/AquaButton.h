#pragma once

#include <QMargins>
#include <QPushButton>

class QGraphicsDropShadowEffect;
class QVariantAnimation;

// The product's own button: a capsule with a vertical gradient, a light inner border and a soft
// shadow. Prominent buttons (a view's primary action) are light with dark labels; plain ones are
// dark with light labels. The shadow is drawn outside the widget's rectangle, so the size hint
// is the capsule's own size.
class AquaButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(bool prominent READ isProminent WRITE setProminent)

public:
    enum class ControlSize { mini, small, regular, large, extraLarge };

    explicit AquaButton(const QString& text = {}, bool prominent = false,
                        QWidget* parent = nullptr);

    bool isProminent() const { return m_prominent; }
    void setProminent(bool prominent);
    ControlSize controlSize() const { return m_controlSize; }
    void setControlSize(ControlSize size);
    // A bundled symbol drawn before the text in the label's colour; empty for none.
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& name);

    // The scale the capsule is drawn at: 0.97 while pressed, 1 otherwise (animated).
    qreal pressScale() const { return m_scale; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Label font and padding around the label for a control size.
    static QFont labelFont(ControlSize size);
    static QMargins padding(ControlSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void pressChanged(bool down);
    void updateShadow();
    int symbolSize() const;
    QPixmap symbolPixmap(const QColor& colour) const;

    bool m_prominent = false;
    ControlSize m_controlSize = ControlSize::regular;
    QString m_symbol;
    qreal m_scale = 1.0;
    QVariantAnimation* m_animation = nullptr;
    QGraphicsDropShadowEffect* m_shadow = nullptr;
};
