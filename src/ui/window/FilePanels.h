#pragma once

#include "store/AppState.h"

#include <QFileDialog>

// The open panel: files and folders chosen together, several at once. Qt's own dialog (never the
// desktop's), so the choice works the same everywhere and headless tests can drive it.
class OpenPanelDialog : public QFileDialog {
    Q_OBJECT

public:
    explicit OpenPanelDialog(QWidget* parent = nullptr);

    // The chosen files and folders in the order shown; empty until accepted.
    QStringList chosenPaths() const { return m_chosen; }

public Q_SLOTS:
    void accept() override;

private:
    QStringList m_chosen;
};

// The output-folder panel: folders only, new ones allowed, confirmed with "Use Folder".
class FolderPanelDialog : public QFileDialog {
    Q_OBJECT

public:
    explicit FolderPanelDialog(QWidget* parent = nullptr);
};

namespace FilePanels {
// Modal panels for AppState::setOpenPanel / setFolderPanel, centred on `parent`.
AppState::OpenPanel openPanel(QWidget* parent);
AppState::FolderPanel folderPanel(QWidget* parent);
} // namespace FilePanels
