#pragma once

#include <QWidget>

class AppState;
class ElidedLabel;
class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QToolButton;

// The "Export" section: output format, quality, lossless WebP and the output folder menu.
class ExportSection : public QWidget {
    Q_OBJECT

public:
    explicit ExportSection(AppState& state, QWidget* parent = nullptr);

    void refresh();

    QComboBox* formatPicker() const { return m_format; }
    QWidget* qualityBlock() const { return m_qualityBlock; }
    QLabel* qualityPercent() const { return m_percent; }
    QSlider* qualitySlider() const { return m_slider; }
    QCheckBox* losslessToggle() const { return m_lossless; }
    QToolButton* folderMenu() const { return m_folder; }
    ElidedLabel* folderLabel() const { return m_folderLabel; }

private:
    QWidget* makeQualityBlock();
    QToolButton* makeFolderMenu();

    AppState& m_state;
    QComboBox* m_format;
    QWidget* m_qualityBlock = nullptr;
    QLabel* m_percent = nullptr;
    QSlider* m_slider = nullptr;
    QCheckBox* m_lossless;
    QToolButton* m_folder = nullptr;
    ElidedLabel* m_folderLabel = nullptr;
};
