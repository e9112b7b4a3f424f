#pragma once

#include <QStringList>
#include <QWidget>

// A row of mutually exclusive text segments of equal width. Only the user's choices are signalled:
// setting the current index from code is silent, and choosing the segment that is already current
// does nothing. Arrow keys move the choice when the control has focus.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedControl(const QStringList& segments = {}, QWidget* parent = nullptr);

    QStringList segments() const { return m_segments; }
    void setSegments(const QStringList& segments);
    int currentIndex() const { return m_current; } // -1: none
    void setCurrentIndex(int index);
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The user chose another segment; currentIndex() already holds it.
    void activated(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int segmentAt(const QPoint& point) const;
    void choose(int index);
    void paintSegment(QPainter& painter, int index) const;
    void updateAccessibleText();

    QStringList m_segments;
    int m_current = -1;
    int m_pressed = -1;
    int m_hovered = -1;
};
