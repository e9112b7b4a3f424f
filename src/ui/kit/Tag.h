#pragma once

#include <QWidget>

// A caption on a translucent capsule, laid over a picture; clicks and drags pass through it.
class Tag : public QWidget {
    Q_OBJECT
public:
    explicit Tag(const QString& text, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect capsule() const;
    QString m_text;
};
