#include "ScreenFit.h"

#include <QScreen>
#include <QWidget>

namespace ScreenFit {
namespace {

// A title bar and a border, as window managers draw them, until the real frame is known.
constexpr int assumedFrameHeight = 40;

int frameHeight(const QWidget& window)
{
    const int framed = window.frameGeometry().height() - window.height();
    return framed > 0 ? framed : assumedFrameHeight;
}

} // namespace

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
    const QRect free = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    const int overflow = frame.bottom() - free.bottom();
    if (overflow <= 0)
        return;
    window.move(frame.left(), std::max(free.top(), frame.top() - overflow));
}

} // namespace ScreenFit
