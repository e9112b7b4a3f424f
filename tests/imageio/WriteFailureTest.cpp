#include "core/EngineError.h"
#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// A full disk or quota: every byte-level failure must surface as cannotWrite, with nothing left
// at the destination or beside it.
TEST(WriteFailure, EveryFormatReportsAFullDisk)
{
    QTemporaryDir dir;
    const QImage noise = TestSupport::noiseFixture(256, 256, true);
    for (OutputFormat format : {OutputFormat::png, OutputFormat::jpeg, OutputFormat::tiff,
                                OutputFormat::webp, OutputFormat::heic}) {
        const QString name = "out." + fileExtension(format);
        const QString path = dir.filePath(name);
        try {
            const TestSupport::FileSizeLimit limit(4096);
            ImageWriter::write(noise, path, format, 0.9, true);
            ADD_FAILURE() << name.toStdString() << " reported success";
        } catch (const ImageError& error) {
            EXPECT_EQ(error.kind(), ImageError::Kind::cannotWrite) << name.toStdString();
            EXPECT_EQ(error.message(), "Can't write " + name);
        }
        EXPECT_EQ(TestSupport::entries(dir.path()), QStringList()) << name.toStdString();
    }
    // The same writes succeed without the limit, so the limit is what failed them.
    ImageWriter::write(noise, dir.filePath("fine.png"), OutputFormat::png, 0.9, false);
    EXPECT_EQ(ImageLoader::load(dir.filePath("fine.png")).size(), QSize(256, 256));
}
