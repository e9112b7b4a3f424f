#include "ui/window/FilePanels.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QImage>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

std::string joined(const QStringList& paths)
{
    return paths.join(u'\n').toStdString();
}

// A folder with two images, a subfolder and a text file.
class FilePanelsTest : public ::testing::Test {
protected:
    FilePanelsTest()
    {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        image.save(m_dir.filePath("a.png"));
        image.save(m_dir.filePath("b.jpg"));
        QDir(m_dir.path()).mkdir("sub");
        QFile text(m_dir.filePath("notes.txt"));
        text.open(QIODevice::WriteOnly);
    }

    // Selects rows of the dialog's list by name, as a user's ctrl-clicks would.
    static void select(QFileDialog& dialog, const QStringList& names)
    {
        auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
        ASSERT_TRUE(view);
        auto* model = dialog.findChild<QFileSystemModel*>();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(view->rootIndex()) > 0; }, 5000));
        view->selectionModel()->clear();
        for (const QString& name : names) {
            const QModelIndex index = model->index(dialog.directory().filePath(name));
            ASSERT_TRUE(index.isValid()) << name.toStdString();
            view->selectionModel()->select(view->model()->index(index.row(), 0, view->rootIndex()),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(FilePanelsTest, OpenPanelChoosesFilesAndFoldersTogether)
{
    OpenPanelDialog dialog;
    EXPECT_EQ(dialog.windowTitle(),
              QStringLiteral("Choose images or folders (PNG, JPEG, WebP, HEIC, TIFF…)"));
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    dialog.setDirectory(m_dir.path());
    dialog.show();
    for (QAbstractItemView* view :
         dialog.findChildren<QAbstractItemView*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection);
    select(dialog, {"a.png", "sub", "b.jpg"});
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    QStringList chosen = dialog.chosenPaths();
    chosen.sort();
    EXPECT_EQ(joined(chosen),
              joined({m_dir.filePath("a.png"), m_dir.filePath("b.jpg"), m_dir.filePath("sub")}));
}

TEST_F(FilePanelsTest, OpenPanelStaysOpenOnANameThatDoesNotExist)
{
    OpenPanelDialog dialog;
    dialog.setDirectory(m_dir.path());
    dialog.show();
    dialog.selectFile(m_dir.filePath("missing.png"));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.chosenPaths().isEmpty());
}

TEST_F(FilePanelsTest, FolderPanelOffersFoldersOnlyUnderItsOwnButton)
{
    FolderPanelDialog dialog;
    EXPECT_EQ(dialog.labelText(QFileDialog::Accept), QStringLiteral("Use Folder"));
    EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
    EXPECT_FALSE(dialog.testOption(QFileDialog::ReadOnly)); // new folders allowed
    dialog.setDirectory(m_dir.path());
    dialog.show();
    select(dialog, {"sub"});
    QMetaObject::invokeMethod(&dialog, "accept");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(joined(dialog.selectedFiles()), joined({m_dir.filePath("sub")}));
}
