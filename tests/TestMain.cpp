#include "imageio/ImageLoader.h"
#include "tracer/SVGVectorizer.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef TOLVANE_WIDGET_TESTS
#include "ui/kit/TolvaneTheme.h"

#include <QApplication>
#else
#include <QGuiApplication>
#endif

int main(int argc, char** argv)
{
    // Headless everywhere; settings, HOME and temporary files stay inside one throwaway folder.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir sandbox;
    qputenv("HOME", sandbox.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (sandbox.path() + "/data").toUtf8());
    qputenv("TMPDIR", sandbox.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    ImageLoader::configureReaders();
    SVGVectorizer::registerWithImageWriter();
#ifdef TOLVANE_WIDGET_TESTS
    // Views are tested in the product's own look.
    QApplication app(argc, argv);
    TolvaneTheme::apply(app);
#else
    QGuiApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
