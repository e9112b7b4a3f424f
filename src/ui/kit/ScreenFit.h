#pragma once

class QWidget;

// Keeping a window whose height follows its content on its screen.
namespace ScreenFit {

// The most a window's own height may be: its screen's free area without the window's frame. A
// window the window manager has not framed yet is taken to have a usual title bar.
int availableHeight(const QWidget& window);
// Moves a shown window up, as little as needed, so that its frame ends within the free area.
void keepWithin(QWidget& window);

} // namespace ScreenFit
