#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QString>

class QApplication;

// The application's one look: seven colours, the dark palette built from them, the text styles,
// the display font and the artwork among the resources.
namespace TolvaneTheme {

// Each colour is made once, on first use (thread-safe), and shared for the life of the process.
const QColor& nsBackground(); // every window's background
const QColor& background();   // the same colour: content backgrounds, prominent button labels
const QColor& panel();        // cards and rows; bottom of the plain button
const QColor& raised();       // top of the plain button
const QColor& ink();          // text and icons
const QColor& muted();        // secondary text
const QColor& accent();       // tint, selection, highlights

// Every palette role of every colour group, from the seven colours.
QPalette darkPalette();

// Fusion, the dark palette (tooltips included), the display font and the body font: before any
// window exists.
void apply(QApplication& app);

// The image "<name>.png" among the resources, loaded afresh on every call; null when the file is
// missing or unreadable.
QImage artwork(const QString& name);

// The application's own icon (tolvane.svg among the resources); empty when missing.
QIcon applicationIcon();

// Registers BebasNeue-Regular (".ttf", else ".otf") from the resources for this process. A missing
// or damaged file is skipped silently; a second call changes nothing.
void registerFonts();
// Registers the display font found in `folder`; returns its family, empty when none was usable.
QString registerFonts(const QString& folder);
// The family the display font registered under, or "Bebas Neue" when none was registered.
QString displayFamily();
// The display font at a pixel size.
QFont displayFont(int pixelSize);

enum class TextStyle { caption, caption2, subheadline, callout, body, headline, title2 };
// The application font at the style's pixel size and weight.
QFont font(TextStyle style);

// Animations are skipped when TOLVANE_REDUCE_MOTION=1.
bool reduceMotion();

} // namespace TolvaneTheme
