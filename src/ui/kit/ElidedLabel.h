#pragma once

#include <QWidget>

// One line of text that never pushes its layout wider: when it does not fit it is elided (in the
// middle by default) and elided again on every resize. The full text stays the accessible name.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    Qt::TextElideMode elideMode() const { return m_mode; }
    void setElideMode(Qt::TextElideMode mode);
    void setAlignment(Qt::Alignment alignment);
    // What is drawn at the current width.
    QString shownText() const { return m_shown; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateShown();

    QString m_text;
    QString m_shown;
    Qt::TextElideMode m_mode = Qt::ElideMiddle;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};
