#pragma once

#include "KeySheet.h"
#include "cloud/CloudStudio.h"

#include <QDialog>
#include <QPointer>

class AppState;
class AquaButton;
class FittingScrollArea;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTimer;
class SegmentedControl;
class Spinner;
class StatusText;
class SymbolLabel;

// The studio sheet over the main window: one new image from a prompt, through the product's
// service or the user's own xAI key, optionally guided by the selected queue image. It owns a
// new studio controller; it cannot be closed while the controller works.
class CloudStudioView : public QDialog {
    Q_OBJECT
public:
    CloudStudioView(AppState& state, CloudStudio::Environment environment,
                    QWidget* parent = nullptr);

    // The sheet with the real service, xAI and a save dialog.
    static CloudStudioView* create(AppState& state, QWidget* parent);

    CloudStudio& studio() const { return *m_studio; }
    QString modelID() const { return m_modelID; }
    bool ownKey() const { return m_ownKey; }

    SegmentedControl* routePicker() const { return m_route; }
    QComboBox* modelPicker() const { return m_model; }
    QPlainTextEdit* promptEditor() const { return m_prompt; }
    QCheckBox* referenceToggle() const { return m_useReference; }
    AquaButton* doneButton() const { return m_done; }
    AquaButton* generateButton() const { return m_generate; }
    AquaButton* checkResultButton() const { return m_checkResult; }
    AquaButton* showInFolderButton() const { return m_showInFolder; }
    AquaButton* keyButton() const { return m_keyButton; }
    AquaButton* enhanceButton() const { return m_enhance; }
    StatusText* statusText() const { return m_status; }
    Spinner* spinner() const { return m_spinner; }
    KeySheet* keySheet() const { return m_keySheet; }
    // Whether the sheet shows that it waits for the keyring (only once a wait has lasted a moment,
    // so a keyring that answers at once never makes it flicker).
    bool showsKeyringWait() const;
    // Rows by role, for tests: "emptyNote", "ownKey", "reference", "comingSoon".
    QWidget* row(const QString& role) const;

public Q_SLOTS:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeLayout();
    // Bounds the scrolling rows so that the sheet fits its screen, and keeps it within it.
    void fitToScreen();
    QWidget* makeHeader();
    QWidget* makeRoute();
    QWidget* makeModelPicker();
    QWidget* makeOwnKeyBlock();
    QWidget* makePromptBlock();
    QWidget* makeStatusRow();
    QWidget* makeActionRow();
    QLabel* note(const QString& text);
    void connectSignals();
    void render();
    void renderModels();
    void generate();
    void openKeySheet();

    AppState& m_state;
    CloudStudio* m_studio;
    QString m_modelID;
    bool m_ownKey = true;
    bool m_appeared = false;
    QTimer* m_keyringGrace = nullptr;

    QWidget* m_top = nullptr;
    FittingScrollArea* m_middle = nullptr;
    QWidget* m_bottom = nullptr;
    AquaButton* m_done = nullptr;
    SegmentedControl* m_route = nullptr;
    QComboBox* m_model = nullptr;
    QLabel* m_emptyNote = nullptr;
    QWidget* m_ownKeyBlock = nullptr;
    SymbolLabel* m_keyLabel = nullptr;
    AquaButton* m_keyButton = nullptr;
    QPlainTextEdit* m_prompt = nullptr;
    QCheckBox* m_useReference = nullptr;
    QWidget* m_referenceRow = nullptr;
    QLabel* m_referenceName = nullptr;
    AquaButton* m_enhance = nullptr;
    QLabel* m_uploadNote = nullptr;
    QLabel* m_comingSoon = nullptr;
    Spinner* m_spinner = nullptr;
    StatusText* m_status = nullptr;
    AquaButton* m_checkResult = nullptr;
    AquaButton* m_showInFolder = nullptr;
    AquaButton* m_generate = nullptr;
    QPointer<KeySheet> m_keySheet;
};
