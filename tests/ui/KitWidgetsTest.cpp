#include "ui/kit/FitImage.h"
#include "ui/kit/Spinner.h"

#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

TEST(Spinner, TurnsOnlyWhileVisible)
{
    QWidget window;
    auto* spinner = new Spinner(16, &window);
    EXPECT_FALSE(spinner->isSpinning());
    window.show();
    EXPECT_TRUE(spinner->isSpinning());
    spinner->hide();
    EXPECT_FALSE(spinner->isSpinning());
    spinner->show();
    EXPECT_TRUE(spinner->isSpinning());
    window.hide(); // hidden with its window
    EXPECT_FALSE(spinner->isSpinning());
}

TEST(FitImage, FittedRectKeepsTheAspectRatioAndCentres)
{
    // Wide image in a tall box, tall image in a wide box, and a small one scaled up.
    EXPECT_EQ(FitImage::fittedRect({400, 200}, QRectF(0, 0, 200, 400)), QRectF(0, 150, 200, 100));
    EXPECT_EQ(FitImage::fittedRect({100, 200}, QRectF(10, 0, 400, 100)), QRectF(185, 0, 50, 100));
    EXPECT_EQ(FitImage::fittedRect({10, 5}, QRectF(0, 0, 300, 180)), QRectF(0, 15, 300, 150));
    EXPECT_TRUE(FitImage::fittedRect({0, 5}, QRectF(0, 0, 300, 180)).isEmpty());
    EXPECT_TRUE(FitImage::fittedRect({10, 5}, QRectF(0, 0, 0, 180)).isEmpty());
}

TEST(FitImage, DrawsScaledUpAndUnstretched)
{
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    FitImage fit;
    fit.setImage(image);
    fit.resize(200, 180);
    fit.setAutoFillBackground(true);
    QPalette palette = fit.palette();
    palette.setColor(QPalette::Window, Qt::black);
    fit.setPalette(palette);

    const QImage shot = fit.grab().toImage();
    // 200×100 band centred vertically: rows 40…139 red, black above and below.
    EXPECT_EQ(QColor(shot.pixel(100, 90)), QColor(Qt::red));
    EXPECT_EQ(QColor(shot.pixel(2, 42)), QColor(Qt::red));
    EXPECT_EQ(QColor(shot.pixel(100, 20)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(100, 160)), QColor(Qt::black));
}
