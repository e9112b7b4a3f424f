#include "ui/window/ItemRow.h"

#include "UiSupport.h"

#include <gtest/gtest.h>
#include <limits>

using UiSupport::item;

TEST(ItemRow, SizeTextFollowsTheScaleUntilThereIsAResult)
{
    const Item waiting = item("a.png", {300, 200});
    EXPECT_EQ(ItemRow::sizeText(waiting, ScaleFactor::x2), QStringLiteral("300×200 → 600×400"));
    EXPECT_EQ(ItemRow::sizeText(waiting, ScaleFactor::x16), QStringLiteral("300×200 → 4800×3200"));
    EXPECT_EQ(ItemRow::sizeText(waiting, ScaleFactor::x1), QStringLiteral("300×200"));

    // A result's own size wins at every scale, 1× included.
    const Item done =
        item("b.png", {640, 480}, Item::Status::done(), "/out/b_4x.png", QSize(2560, 1920));
    for (ScaleFactor scale : allScaleFactors())
        EXPECT_EQ(ItemRow::sizeText(done, scale), QStringLiteral("640×480 → 2560×1920"));
}

TEST(ItemRow, SizeTextNeverOverflows)
{
    const int big = std::numeric_limits<int>::max() / 8;
    EXPECT_EQ(ItemRow::sizeText(item("huge.png", {big, 1}), ScaleFactor::x16),
              QString::number(big) + "×1 → " + QString::number(qint64(big) * 16) + "×16");
}

TEST(ItemRow, StatusForEveryCase)
{
    using Form = ItemRow::Status::Form;
    using Tone = ItemRow::Status::Tone;

    const ItemRow::Status ready = ItemRow::status(item("a.png", {1, 1}));
    EXPECT_EQ(ready.form, Form::text);
    EXPECT_EQ(ready.text, QStringLiteral("Ready"));
    EXPECT_EQ(ready.tone, Tone::muted);

    const ItemRow::Status working =
        ItemRow::status(item("a.png", {1, 1}, Item::Status::working(0.3)));
    EXPECT_EQ(working.form, Form::progress);
    EXPECT_DOUBLE_EQ(working.fraction, 0.3);
    EXPECT_TRUE(working.text.isEmpty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ItemRow::status(item("a.png", {1, 1}, Item::Status::working(nan))).fraction, 0);
    EXPECT_EQ(ItemRow::status(item("a.png", {1, 1}, Item::Status::working(1.5))).fraction, 1);

    const ItemRow::Status named =
        ItemRow::status(item("a.png", {1, 1}, Item::Status::done(), "/out/dir/a_2x.png"));
    EXPECT_EQ(named.form, Form::label);
    EXPECT_EQ(named.text, QStringLiteral("a_2x.png"));
    EXPECT_EQ(named.symbol, QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(named.tone, Tone::accent);
    EXPECT_EQ(named.maxLines, 1);
    EXPECT_EQ(ItemRow::status(item("a.png", {1, 1}, Item::Status::done())).text,
              QStringLiteral("Done"));

    const QString message = QStringLiteral("The image is too large to enlarge at 16×. Choose a "
                                           "smaller scale or split the image first.");
    const ItemRow::Status failed =
        ItemRow::status(item("a.png", {1, 1}, Item::Status::failed(message)));
    EXPECT_EQ(failed.text, message);
    EXPECT_EQ(failed.toolTip, message);
    EXPECT_EQ(failed.maxLines, 2);
    EXPECT_EQ(failed.tone, Tone::red);
    EXPECT_EQ(failed.symbol, QStringLiteral("exclamationmark.triangle.fill"));
}
