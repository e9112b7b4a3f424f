#include "ui/kit/AquaButton.h"
#include "ui/kit/TolvaneTheme.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using Size = AquaButton::ControlSize;

QImage render(AquaButton& button)
{
    button.resize(button.sizeHint());
    button.show();
    return button.grab().toImage();
}

// Straight colour of a pixel, alpha kept.
QColor straight(const QImage& image, int x, int y)
{
    return QColor::fromRgba(image.convertToFormat(QImage::Format_ARGB32).pixel(x, y));
}

void expectNear(const QColor& actual, const QColor& expected, int tolerance)
{
    EXPECT_NEAR(actual.red(), expected.red(), tolerance);
    EXPECT_NEAR(actual.green(), expected.green(), tolerance);
    EXPECT_NEAR(actual.blue(), expected.blue(), tolerance);
}

class ReduceMotion {
public:
    explicit ReduceMotion(bool on) { qputenv("TOLVANE_REDUCE_MOTION", on ? "1" : "0"); }
    ~ReduceMotion() { qunsetenv("TOLVANE_REDUCE_MOTION"); }
};

} // namespace

TEST(AquaButton, SizeHintIsLabelPlusPaddingOfItsControlSize)
{
    const QString text = QStringLiteral("Enhance Images");
    struct Case {
        Size size;
        int fontPx, horizontal, vertical;
    };
    for (const Case& c :
         {Case{Size::small, 12, 12, 7}, Case{Size::regular, 12, 18, 7}, Case{Size::mini, 12, 18, 7},
          Case{Size::extraLarge, 12, 18, 7}, Case{Size::large, 13, 18, 11}}) {
        AquaButton button(text);
        button.setControlSize(c.size);
        const QFont font = AquaButton::labelFont(c.size);
        EXPECT_EQ(font.pixelSize(), c.fontPx);
        EXPECT_EQ(font.weight(), QFont::DemiBold);
        const QFontMetrics metrics(font);
        EXPECT_EQ(button.sizeHint(), QSize(metrics.horizontalAdvance(text) + 2 * c.horizontal,
                                           metrics.height() + 2 * c.vertical));
    }
}

TEST(AquaButton, SymbolWidensTheLabelAndMnemonicsAreNotCounted)
{
    AquaButton plain(QStringLiteral("Add"));
    AquaButton withSymbol(QStringLiteral("Add"));
    withSymbol.setSymbol(QStringLiteral("plus"));
    EXPECT_EQ(withSymbol.sizeHint().width(), plain.sizeHint().width() + 14 + 6);
    AquaButton mnemonic(QStringLiteral("&Add"));
    EXPECT_EQ(mnemonic.sizeHint(), plain.sizeHint());
}

TEST(AquaButton, ProminentRunsFromInkAtTheTopToAccentAtTheBottom)
{
    AquaButton button(QStringLiteral("Go"), true);
    const QImage image = render(button);
    const int x = image.width() / 2;
    expectNear(straight(image, x, 2), TolvaneTheme::ink(), 12);
    expectNear(straight(image, x, image.height() - 3), TolvaneTheme::accent(), 12);
    EXPECT_GT(straight(image, x, 2).alpha(), 245);
    // The rounded ends leave the corners clear but for a trace of shadow.
    EXPECT_LT(straight(image, 0, 0).alpha(), 40);
}

TEST(AquaButton, PlainIsDarkAndTranslucent)
{
    AquaButton button(QStringLiteral("Go"), false);
    const QImage image = render(button);
    const int x = image.width() / 2;
    const QColor top = straight(image, x, 2);
    const QColor bottom = straight(image, x, image.height() - 3);
    expectNear(top, TolvaneTheme::raised(), 14);
    expectNear(bottom, TolvaneTheme::panel(), 14);
    EXPECT_NEAR(top.alpha(), 0.9 * 255, 14);
    EXPECT_NEAR(bottom.alpha(), 0.72 * 255, 14);
}

TEST(AquaButton, DisabledKeepsItsColoursAtFortyPercent)
{
    AquaButton button(QStringLiteral("Go"), true);
    button.setEnabled(false);
    const QImage image = render(button);
    const QColor top = straight(image, image.width() / 2, 2);
    EXPECT_NEAR(top.alpha(), 0.4 * 255, 8);
    expectNear(top, TolvaneTheme::ink(), 16);
}

TEST(AquaButton, PressShrinksAndReleaseRestores)
{
    ReduceMotion motion(false);
    AquaButton button(QStringLiteral("Go"), true);
    button.resize(button.sizeHint());
    button.show();
    QTest::mousePress(&button, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return qFuzzyCompare(button.pressScale(), 0.97); }, 1000));
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return qFuzzyCompare(button.pressScale(), 1.0); }, 1000));
}

TEST(AquaButton, ReduceMotionNeverScales)
{
    ReduceMotion motion(true);
    AquaButton button(QStringLiteral("Go"), true);
    button.resize(button.sizeHint());
    button.show();
    QTest::mousePress(&button, Qt::LeftButton);
    QTest::qWait(220);
    EXPECT_EQ(button.pressScale(), 1.0);
    button.repaint();
    EXPECT_EQ(button.pressScale(), 1.0);
    QTest::mouseRelease(&button, Qt::LeftButton);
}
