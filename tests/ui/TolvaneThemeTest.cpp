#include "ui/kit/TolvaneTheme.h"
#include "core/Resources.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QUuid>
#include <QWidget>
#include <gtest/gtest.h>

TEST(TolvaneTheme, WindowAndContentBackgroundsRenderTheSameColour)
{
    EXPECT_EQ(&TolvaneTheme::background(), &TolvaneTheme::nsBackground());
    QWidget window;
    window.setAutoFillBackground(true);
    window.resize(20, 20);
    const QImage pixels = window.grab().toImage();
    EXPECT_EQ(QColor(pixels.pixel(10, 10)), QColor(6, 27, 34));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), TolvaneTheme::background());
}

TEST(TolvaneTheme, PaletteIsDarkInEveryGroup)
{
    const QPalette palette = TolvaneTheme::darkPalette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button,
                          QPalette::AlternateBase, QPalette::ToolTipBase})
            EXPECT_LT(palette.color(group, role).lightness(), 90) << group << " " << role;
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                          QPalette::ToolTipText, QPalette::BrightText})
            EXPECT_GT(palette.color(group, role).lightness(), 120) << group << " " << role;
    }
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::Highlight), TolvaneTheme::accent());
}

TEST(TolvaneTheme, ArtworkIsMissingOrReadAfreshOnEveryCall)
{
    EXPECT_TRUE(TolvaneTheme::artwork(QStringLiteral("no-such-artwork")).isNull());

    const QString name =
        QStringLiteral("test-artwork-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString file = Resources::path(name + QStringLiteral(".png"));
    QImage red(4, 4, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(file));
    EXPECT_EQ(TolvaneTheme::artwork(name).pixelColor(0, 0), QColor(Qt::red));

    QImage blue(4, 4, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(file));
    EXPECT_EQ(TolvaneTheme::artwork(name).pixelColor(0, 0), QColor(Qt::blue));

    QFile::resize(file, 10); // damaged
    EXPECT_TRUE(TolvaneTheme::artwork(name).isNull());
    QFile::remove(file);
}

TEST(TolvaneTheme, DisplayFontRegistersFromTheFolderOrNotAtAll)
{
    QTemporaryDir empty;
    EXPECT_TRUE(TolvaneTheme::registerFonts(empty.path()).isEmpty());

    // A damaged .ttf is passed over for the .otf beside it.
    QTemporaryDir both;
    QFile damaged(both.filePath(QStringLiteral("BebasNeue-Regular.ttf")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a font");
    damaged.close();
    ASSERT_TRUE(QFile::copy(Resources::path(QStringLiteral("BebasNeue-Regular.otf")),
                            both.filePath(QStringLiteral("BebasNeue-Regular.otf"))));
    EXPECT_EQ(TolvaneTheme::registerFonts(both.path()), QStringLiteral("Bebas Neue"));

    // The application registered the shipped font at start-up; views get it by family.
    TolvaneTheme::registerFonts();
    EXPECT_EQ(TolvaneTheme::displayFamily(), QStringLiteral("Bebas Neue"));
    const QFont display = TolvaneTheme::displayFont(40);
    EXPECT_EQ(display.pixelSize(), 40);
    EXPECT_EQ(QFontInfo(display).family(), QStringLiteral("Bebas Neue"));
}

// A tooltip as the user sees it: the label Qt makes for it, painted, is dark with light text, even
// where the desktop's theme gives tooltips light colours of their own.
TEST(TolvaneTheme, TooltipsAreDarkWithLightText)
{
    QPalette desktop = QApplication::palette();
    desktop.setColor(QPalette::ToolTipBase, Qt::white);
    desktop.setColor(QPalette::ToolTipText, Qt::black);
    desktop.setColor(QPalette::Window, Qt::white);
    desktop.setColor(QPalette::WindowText, Qt::black);
    QApplication::setPalette(desktop, "QTipLabel");
    QWidget owner;
    owner.resize(200, 100);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    QToolTip::showText(owner.mapToGlobal(QPoint(20, 20)), QStringLiteral("Add images"), &owner);
    QWidget* tip = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->inherits("QTipLabel") && widget->isVisible())
                tip = widget;
        return tip != nullptr;
    }));
    const QImage pixels = tip->grab().toImage();
    QTest::qWait(0);
    QToolTip::hideText();
    // Inside the frame: the background, and somewhere the lightest pixel of the text.
    const QColor base = pixels.pixelColor(pixels.width() / 2, 2);
    int lightest = 0;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            lightest = std::max(lightest, pixels.pixelColor(x, y).lightness());
    EXPECT_LT(base.lightness(), 90) << base.name().toStdString();
    EXPECT_GT(lightest, 180);
    EXPECT_EQ(tip->palette().color(QPalette::ToolTipText), TolvaneTheme::ink());
}
