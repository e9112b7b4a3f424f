#include "sr/ModelStore.h"
#include "core/EngineError.h"
#include "core/Resources.h"
#include "sr/Model.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {

// Puts the nearest-neighbour test model into the folder under the given file name.
void place(const QString& folder, const QString& fileName)
{
    QDir().mkpath(folder);
    ASSERT_TRUE(QFile::copy(TestSupport::testFile(QStringLiteral("data/models/NearestX4.onnx")),
                            folder + u'/' + fileName));
}

} // namespace

TEST(ModelStore, TakesTheModelFromTheFirstFolderThatHoldsIt)
{
    QTemporaryDir dir;
    const QStringList folders{dir.path() + "/first", dir.path() + "/second", dir.path() + "/third"};
    place(folders[1], "PhotoX4.onnx");
    place(folders[2], "PhotoX4.onnx");
    EXPECT_EQ(ModelStore(folders).model(SRModel::photo)->path(), folders[1] + "/PhotoX4.onnx");

    place(folders[0], "PhotoX4.onnx");
    EXPECT_EQ(ModelStore(folders).model(SRModel::photo)->path(), folders[0] + "/PhotoX4.onnx");
}

TEST(ModelStore, DefaultFoldersAreResourcesThenCurrentDirectoryThenSourceTree)
{
    const QString before = QDir::currentPath();
    QTemporaryDir dir;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const QStringList folders = ModelStore::defaultSearchFolders();
    QDir::setCurrent(before);
    EXPECT_EQ(folders, (QStringList{Resources::folder() + "/Models",
                                    QDir(dir.path()).canonicalPath() + "/Models",
                                    QStringLiteral(TOLVANE_SOURCE_DIR "/resources/Models")}));
}

TEST(ModelStore, ServesTheSameModelWithoutSearchingAgain)
{
    QTemporaryDir dir;
    place(dir.path(), "PhotoX4.onnx");
    ModelStore store({dir.path()});
    std::shared_ptr<Model> results[4];
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&store, &result] { result = store.model(SRModel::photo); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& result : results)
        EXPECT_EQ(result, results[0]);

    QFile::remove(dir.path() + "/PhotoX4.onnx");
    EXPECT_EQ(store.model(SRModel::photo), results[0]);
    EXPECT_EQ(&ModelStore::shared(), &ModelStore::shared());
}

TEST(ModelStore, MissingModelNamesItsRawValueAndIsNotRemembered)
{
    QTemporaryDir dir;
    ModelStore store({dir.path() + "/empty", dir.path()});
    try {
        store.model(SRModel::illustration);
        FAIL() << "no model anywhere";
    } catch (const UpscaleError& error) {
        EXPECT_EQ(error.kind(), UpscaleError::Kind::modelMissing);
        EXPECT_TRUE(error.message().contains("The IllustrationX4 enhancement model is missing"));
    }
    place(dir.path(), "IllustrationX4.onnx");
    EXPECT_EQ(store.model(SRModel::illustration)->path(), dir.path() + "/IllustrationX4.onnx");
}

TEST(ModelStore, ModelThatFailsToLoadGivesAShortMessageAndIsNotCached)
{
    const QByteArray good =
        TestSupport::readBytes(TestSupport::testFile(QStringLiteral("data/models/NearestX4.onnx")));
    QByteArray unknownOperation = good;
    unknownOperation.replace("Resize", "Resizf"); // same length: still a valid file
    QByteArray missingInitializer = good;
    // The node's reference comes first in the file; the initializer keeps its name.
    const qsizetype scales = missingInitializer.indexOf("scales_");
    ASSERT_GE(scales, 0);
    missingInitializer[scales] = 'S';
    const std::pair<const char*, QByteArray> broken[] = {
        {"not a network", "not a network"},
        {"truncated", good.left(good.size() / 2)},
        {"unknown operation", unknownOperation},
        {"missing initializer", missingInitializer},
    };
    for (const auto& [what, bytes] : broken) {
        SCOPED_TRACE(what);
        QTemporaryDir dir;
        const QString path = dir.path() + "/PhotoX4.onnx";
        TestSupport::writeBytes(path, bytes);
        ModelStore store({dir.path()});
        try {
            store.model(SRModel::photo);
            FAIL() << "a broken file loaded";
        } catch (const PlatformError& error) {
            EXPECT_EQ(error.message(), "Can't load the model PhotoX4.onnx");
        }
        QFile::remove(path);
        place(dir.path(), "PhotoX4.onnx");
        EXPECT_EQ(store.model(SRModel::photo)->path(), path);
    }
}
