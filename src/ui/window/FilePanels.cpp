#include "FilePanels.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QHeaderView>
#include <QPointer>
#include <QSplitter>
#include <QStandardPaths>
#include <QTreeView>

namespace {

const QStringList imagePatterns = {
    QStringLiteral("*.png"),  QStringLiteral("*.jpg"),  QStringLiteral("*.jpeg"),
    QStringLiteral("*.webp"), QStringLiteral("*.heic"), QStringLiteral("*.heif"),
    QStringLiteral("*.tif"),  QStringLiteral("*.tiff"), QStringLiteral("*.bmp"),
    QStringLiteral("*.gif"),  QStringLiteral("*.avif"),
};

// Room for whole names, sizes and dates; the places a user starts from on the left.
void arrange(QFileDialog& dialog)
{
    dialog.resize(860, 520);
    QList<QUrl> places{QUrl(QStringLiteral("file:")), QUrl::fromLocalFile(QDir::homePath())};
    for (auto location : {QStandardPaths::PicturesLocation, QStandardPaths::DesktopLocation}) {
        const QString path = QStandardPaths::writableLocation(location);
        if (QFileInfo(path).isDir() && path != QDir::homePath())
            places << QUrl::fromLocalFile(path);
    }
    dialog.setSidebarUrls(places);
    if (auto* details = dialog.findChild<QTreeView*>()) {
        details->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < details->header()->count(); ++column)
            details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    if (auto* splitter = dialog.findChild<QSplitter*>())
        splitter->setSizes({170, 690});
}

} // namespace

OpenPanelDialog::OpenPanelDialog(QWidget* parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(QStringLiteral("Choose images or folders (PNG, JPEG, WebP, HEIC, TIFF…)"));
    // Directory mode still lists files when ShowDirsOnly is off; accept() below takes both.
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, false);
    setOption(QFileDialog::ReadOnly);
    QStringList patterns = imagePatterns;
    for (const QString& pattern : imagePatterns)
        patterns << pattern.toUpper();
    setNameFilter(QStringLiteral("Images and folders (%1)").arg(patterns.join(u' ')));
    setOption(QFileDialog::HideNameFilterDetails);
    setLabelText(QFileDialog::Accept, QStringLiteral("Open"));
    setLabelText(QFileDialog::FileName, QStringLiteral("Name:"));
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDirectory(QDir::homePath());
    arrange(*this);
}

void OpenPanelDialog::accept()
{
    QStringList chosen;
    for (const QString& path : selectedFiles()) {
        if (QFileInfo::exists(path) && !chosen.contains(path))
            chosen << path;
    }
    // Nothing chosen that exists (a mistyped name): the panel stays open.
    if (chosen.isEmpty())
        return;
    m_chosen = chosen;
    QDialog::accept();
}

FolderPanelDialog::FolderPanelDialog(QWidget* parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(QStringLiteral("Choose Output Folder"));
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
    setLabelText(QFileDialog::Accept, QStringLiteral("Use Folder"));
    setDirectory(QDir::homePath());
    arrange(*this);
}

namespace FilePanels {

// Each panel opens where it was last confirmed in this session.
AppState::OpenPanel openPanel(QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    return [owner, last = QString()]() mutable -> QStringList {
        OpenPanelDialog dialog(owner);
        if (!last.isEmpty())
            dialog.setDirectory(last);
        if (dialog.exec() != QDialog::Accepted)
            return {};
        last = dialog.directory().absolutePath();
        return dialog.chosenPaths();
    };
}

AppState::FolderPanel folderPanel(QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    return [owner, last = QString()]() mutable -> std::optional<QString> {
        FolderPanelDialog dialog(owner);
        if (!last.isEmpty())
            dialog.setDirectory(last);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        last = dialog.directory().absolutePath();
        return dialog.selectedFiles().first();
    };
}

} // namespace FilePanels
