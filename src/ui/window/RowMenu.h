#pragma once

#include <QMenu>

struct Item;

// The context menu of a queue row: reveal the original, reveal the result (only when there is
// one), and "Remove", whose action carries the row's item id as its data; the caller decides what
// removing means. The menu captures the item as it is now.
QMenu* buildRowMenu(const Item& item, QWidget* parent = nullptr);
// The "Remove" action of a menu made by buildRowMenu.
QAction* removeEntry(const QMenu& menu);
