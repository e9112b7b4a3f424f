#include "core/EngineError.h"
#include "imageio/ImageWriter.h"

#include "TestSupport.h"

#include <QSvgRenderer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(ImageWriter, WritesSvgThroughTheTracer)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("fixture.svg");
    ImageWriter::write(TestSupport::opaqueFixture(64, 48), path, OutputFormat::svg, 0.9, false);
    QSvgRenderer renderer(path);
    EXPECT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.defaultSize(), QSize(64, 48));

    try {
        ImageWriter::write(TestSupport::alphaFixture(), dir.filePath("missing/out.svg"),
                           OutputFormat::svg, 0.9, false);
        ADD_FAILURE() << "wrote into a missing folder";
    } catch (const ImageError& error) {
        EXPECT_EQ(error.kind(), ImageError::Kind::cannotWrite);
        EXPECT_EQ(error.message(), "Can't write out.svg");
    }
}
