#include "TestSupport.h"

#include <QDir>

namespace TestSupport {

QImage alphaFixture()
{
    QImage image(24, 18, QImage::Format_RGBA8888);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = x <= 3 ? 0 : (x <= 7 ? 128 : 255);
            image.setPixelColor(x, y, QColor(x < 12 ? 220 : 0, y < 9 ? 160 : 0, 70, alpha));
        }
    return image;
}

QImage opaqueFixture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGBX8888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(x * 255 / std::max(1, width - 1),
                                             y * 255 / std::max(1, height - 1),
                                             (x / 8 + y / 8) % 2 ? 200 : 40));
    return image;
}

QString testFile(const QString& relative)
{
    return QStringLiteral(TOLVANE_TESTS_DIR "/") + relative;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace TestSupport
