#pragma once

#include "core/Item.h"
#include "core/JobSettings.h"

#include <QString>

// What one queue row says about its item, apart from drawing it (ItemRowDelegate draws).
namespace ItemRow {

// "640×480" alone, or with " → " and the result's size, or the size the current scale will give
// while there is no result yet.
QString sizeText(const Item& item, ScaleFactor scale);

// The row's status line.
struct Status {
    enum class Form { text, progress, label };
    enum class Tone { muted, accent, red };
    Form form = Form::text;
    Tone tone = Tone::muted;
    QString text;
    QString symbol; // empty: none
    int maxLines = 1;
    QString toolTip;     // empty: none
    double fraction = 0; // 0…1, for the progress form
};
Status status(const Item& item);

} // namespace ItemRow
