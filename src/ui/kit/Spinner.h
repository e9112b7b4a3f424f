#pragma once

#include <QBasicTimer>
#include <QWidget>

// An indeterminate progress indicator: twelve spokes fading around a circle. It turns only while
// it is visible, so a hidden spinner costs no timer wake-ups.
class Spinner : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(int diameter = 16, QWidget* parent = nullptr);

    bool isSpinning() const { return m_timer.isActive(); }
    QSize sizeHint() const override { return {m_diameter, m_diameter}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int m_diameter;
    int m_step = 0;
    QBasicTimer m_timer;
};
