#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

// Keeping windows, frames included, on their screen.
namespace ScreenFit {

// A title bar and a border as window managers draw them: the frame assumed for a window that
// the window manager has not framed yet.
inline const QMargins typicalFrame(4, 40, 4, 4);

// `frame` moved as little as needed to lie inside `free`; its top-left corner when it is larger.
QRect keptInside(QRect frame, const QRect& free);
// The most a window's own height may be: its screen's free area without the window's frame
// (typicalFrame until the real one is known).
int availableHeight(const QWidget& window);
// Moves a shown window as little as needed for its frame to lie within the free area.
void keepWithin(QWidget& window);

} // namespace ScreenFit
