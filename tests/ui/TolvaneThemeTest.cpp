#include "ui/kit/TolvaneTheme.h"
#include "core/Resources.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QTemporaryDir>
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
