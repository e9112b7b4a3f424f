#include "ScreenFit.h"

#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ScreenFit {
namespace {

int frameHeight(const QWidget& window)
{
    const int framed = window.frameGeometry().height() - window.height();
    return framed > 0 ? framed : typicalFrame.top() + typicalFrame.bottom();
}

} // namespace

QRect keptInside(QRect frame, const QRect& free)
{
    frame.moveLeft(std::max(free.left(), std::min(frame.left(), free.right() + 1 - frame.width())));
    frame.moveTop(std::max(free.top(), std::min(frame.top(), free.bottom() + 1 - frame.height())));
    return frame;
}

int availableHeight(const QWidget& window)
{
    const QScreen* screen = window.screen();
    return screen ? screen->availableGeometry().height() - frameHeight(window) : QWIDGETSIZE_MAX;
}

void keepWithin(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen || !window.isVisible())
        return;
    const QRect frame = window.frameGeometry();
    const QRect kept = keptInside(frame, screen->availableGeometry());
    if (kept.topLeft() != frame.topLeft())
        window.move(kept.topLeft());
}

} // namespace ScreenFit
