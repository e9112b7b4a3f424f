#pragma once

#include <QColor>

// The desktop's standard colours in their dark variants, for the few places that use them rather
// than the theme's: the drop frame, failures, secondary fills and hairlines.
namespace SystemColors {
inline QColor blue()
{
    return QColor(0x0A, 0x84, 0xFF);
}
inline QColor red()
{
    return QColor(0xFF, 0x45, 0x3A);
}
// Secondary labels and fills: white at 55 %, optionally faded further.
inline QColor secondary(qreal opacity = 1.0)
{
    QColor colour(Qt::white);
    colour.setAlphaF(float(0.55 * opacity));
    return colour;
}
inline QColor divider()
{
    QColor colour(Qt::white);
    colour.setAlphaF(0.10f);
    return colour;
}
} // namespace SystemColors
