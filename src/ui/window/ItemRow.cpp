#include "ItemRow.h"

#include "core/FileNames.h"

#include <cmath>

namespace {

QString pair(qint64 width, qint64 height)
{
    return QString::number(width) + QStringLiteral("×") + QString::number(height);
}

const QString arrow = QStringLiteral(" → ");

} // namespace

QString ItemRow::sizeText(const Item& item, ScaleFactor scale)
{
    const qint64 width = item.pixelSize.width();
    const qint64 height = item.pixelSize.height();
    if (item.outputPixelSize)
        return pair(width, height) + arrow +
               pair(item.outputPixelSize->width(), item.outputPixelSize->height());
    if (scale == ScaleFactor::x1)
        return pair(width, height);
    const qint64 factor = rawValue(scale);
    return pair(width, height) + arrow + pair(width * factor, height * factor);
}

ItemRow::Status ItemRow::status(const Item& item)
{
    using Kind = Item::Status::Kind;
    Status shown;
    switch (item.status.kind()) {
    case Kind::pending:
        shown.text = QStringLiteral("Ready");
        break;
    case Kind::working: {
        const double fraction = item.status.fraction();
        shown.form = Status::Form::progress;
        shown.fraction = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
        break;
    }
    case Kind::done:
        shown.form = Status::Form::label;
        shown.tone = Status::Tone::accent;
        shown.symbol = QStringLiteral("checkmark.circle.fill");
        shown.text = item.outputPath.isEmpty() ? QStringLiteral("Done")
                                               : FileNames::lastPathComponent(item.outputPath);
        break;
    case Kind::failed:
        shown.form = Status::Form::label;
        shown.tone = Status::Tone::red;
        shown.symbol = QStringLiteral("exclamationmark.triangle.fill");
        shown.text = item.status.message();
        shown.maxLines = 2;
        shown.toolTip = item.status.message();
        break;
    }
    return shown;
}
