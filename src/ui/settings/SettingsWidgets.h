#pragma once

#include <QString>

class QColor;

class QLabel;
class QWidget;

// Small building blocks shared by the pieces of the settings column.
namespace SettingsWidgets {

// A muted, word-wrapping line in the caption style.
QLabel* caption(const QString& text, QWidget* parent);
// Lets the wheel scroll the column instead of changing `control`'s value, unless the control has
// the keyboard focus: passing over a slider or picker must never change a setting.
void scrollPastUnlessFocused(QWidget* control);
// A picker with its title shown before it, the way a titled pop-up reads.
QWidget* labelledRow(const QString& title, QWidget* field, QWidget* parent);

} // namespace SettingsWidgets
