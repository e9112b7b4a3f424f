#include "ui/kit/Tag.h"

#include <QPalette>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace {

double linear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(QColor colour)
{
    return 0.2126 * linear(colour.red()) + 0.7152 * linear(colour.green()) +
           0.0722 * linear(colour.blue());
}

double contrast(QColor a, QColor b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The tag over a plain picture of `colour`: the best contrast between a pixel of its text and
// the capsule around the text.
double textContrastOver(QColor colour)
{
    QWidget picture;
    picture.setAutoFillBackground(true);
    QPalette palette = picture.palette();
    palette.setColor(QPalette::Window, colour);
    picture.setPalette(palette);
    auto* tag = new Tag(QStringLiteral("After"), &picture);
    picture.resize(tag->size() + QSize(40, 40));
    tag->move(20, 20);
    const QImage shot = picture.grab().toImage();
    // Inside the capsule, left of the text: 10 out, then 3 of the 8 of padding.
    const QRect box = tag->geometry().adjusted(10, 10, -10, -10);
    const QColor capsule = shot.pixelColor(box.left() + 3, box.center().y());
    double best = 1;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left() + 8; x <= box.right() - 8; ++x)
            best = std::max(best, contrast(shot.pixelColor(x, y), capsule));
    return best;
}

} // namespace

TEST(Tag, TextIsReadableOverWhiteAndOverBlack)
{
    EXPECT_GE(textContrastOver(Qt::white), 4.5);
    EXPECT_GE(textContrastOver(Qt::black), 4.5);
}
