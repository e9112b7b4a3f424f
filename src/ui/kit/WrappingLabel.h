#pragma once

#include <QWidget>

class QTextLayout;

// Plain text (never rich text) on as many lines as its width needs: broken between words, and
// inside a word too long for a line, so nothing is ever clipped. Its height follows its width.
class WrappingLabel : public QWidget {
    Q_OBJECT

public:
    explicit WrappingLabel(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    void setAlignment(Qt::Alignment alignment);
    // The lines drawn at `width`.
    QStringList lines(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Fills `layout` with the lines for `width`; returns their height.
    qreal layOut(QTextLayout& layout, qreal width) const;

    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft;
};
