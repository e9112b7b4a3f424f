#include "CloudStudioView.h"
#include "KeySheet.h"
#include "StatusText.h"
#include "StudioRules.h"
#include "core/FileNames.h"
#include "kit/AquaButton.h"
#include "kit/FittingScrollArea.h"
#include "kit/ScreenFit.h"
#include "kit/SegmentedControl.h"
#include "kit/Spinner.h"
#include "kit/SymbolLabel.h"
#include "kit/TolvaneTheme.h"
#include "store/AppState.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>

namespace {

// However short the screen, the prompt and a row or two stay in reach.
constexpr int minimumRowsHeight = 200;

} // namespace

// Every text, visibility and enabling of the sheet, from the controller, the store and the
// inputs; called on every change of any of them.
void CloudStudioView::render()
{
    const CloudStudio& studio = *m_studio;
    const bool busy = studio.isBusy();
    const auto selected = m_state.selectedItem();
    const auto model = StudioRules::selectedModel(studio.models(), m_modelID);

    m_done->setEnabled(!busy);
    {
        const QSignalBlocker blocker(m_route);
        m_route->setCurrentIndex(m_ownKey ? 1 : 0);
    }
    renderModels();
    m_emptyNote->setVisible(!m_ownKey && StudioRules::availableCount(studio.models()) == 0);

    m_ownKeyBlock->setVisible(m_ownKey);
    const bool hasKey = studio.hasOwnKey();
    const bool waiting = showsKeyringWait();
    m_keyLabel->setSymbol(hasKey ? QStringLiteral("checkmark.shield") : QStringLiteral("key"));
    // An unread key is not an absent one: the status line says why it is unknown.
    m_keyLabel->setText(hasKey                 ? tr("xAI key saved in keyring")
                        : waiting              ? tr("Looking for your xAI key in the keyring…")
                        : studio.isKeyUnread() ? tr("Couldn’t read your xAI key from the keyring")
                                               : tr("Connect your personal xAI key"));
    m_keyButton->setText(hasKey ? tr("Manage API Keys…") : tr("Set Up API Key…"));

    m_useReference->setEnabled(selected.has_value());
    m_referenceRow->setVisible(m_useReference->isChecked() && selected);
    if (selected)
        m_referenceName->setText(FileNames::lastPathComponent(selected->path));
    m_uploadNote->setText(StudioRules::uploadNote(m_useReference->isChecked()));
    m_comingSoon->setVisible(!studio.models().isEmpty());

    // The controller's sentence; while there is none, what the sheet waits for.
    QString status = studio.message();
    if (status.isNull() && waiting)
        status = tr("Waiting for the keyring…");
    m_spinner->setVisible(busy || waiting);
    m_status->setVisible(!status.isNull());
    m_status->setMessage(status);

    m_checkResult->setVisible(!studio.resumeJob().isNull());
    m_checkResult->setEnabled(!busy);
    m_showInFolder->setVisible(!studio.outputURL().isNull());
    m_generate->setEnabled(
        StudioRules::canGenerate(busy, m_prompt->toPlainText(), model, m_ownKey, hasKey));
}

// The picker's rows for the route; the chosen id stays even when no row shows it.
void CloudStudioView::renderModels()
{
    const QSignalBlocker blocker(m_model);
    m_model->clear();
    for (const CloudModel& model : StudioRules::listedModels(m_studio->models(), m_ownKey))
        m_model->addItem(StudioRules::modelRowText(model, m_ownKey), model.id);
    m_model->setCurrentIndex(m_model->findData(m_modelID));
}

// The model is the one chosen at the press; everything else is read when the request starts.
void CloudStudioView::generate()
{
    const auto model = StudioRules::selectedModel(m_studio->models(), m_modelID);
    if (!model)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, model = *model] {
            std::optional<QString> reference;
            if (m_useReference->isChecked())
                if (const auto selected = m_state.selectedItem())
                    reference = selected->path;
            QStringList originals;
            for (const Item& item : m_state.items())
                originals.append(item.path);
            m_studio->generate(m_prompt->toPlainText(), model, reference, m_ownKey, originals);
        },
        Qt::QueuedConnection);
}

void CloudStudioView::openKeySheet()
{
    if (m_keySheet)
        return;
    m_keySheet = new KeySheet(this);
    m_keySheet->setAttribute(Qt::WA_DeleteOnClose);
    // However the sheet closes, the key rule decides what the studio may use.
    connect(m_keySheet, &QDialog::finished, this, [this] { m_studio->readOwnKey(); });
    m_keySheet->open();
}

void CloudStudioView::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    fitToScreen();
    if (m_appeared)
        return;
    m_appeared = true;
    m_ownKey = false;
    render();
    m_studio->load();
}

void CloudStudioView::fitToScreen()
{
    const int fixed = m_top->sizeHint().height() + m_bottom->sizeHint().height();
    m_middle->setMaximumHeight(
        std::max(minimumRowsHeight, ScreenFit::availableHeight(*this) - fixed));
    ScreenFit::keepWithin(*this);
}

// Placed or framed anew, the sheet may have another screen or a known frame.
void CloudStudioView::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    fitToScreen();
}

// Grown with its content, it may reach past the screen's lower edge.
void CloudStudioView::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ScreenFit::keepWithin(*this);
}

void CloudStudioView::reject()
{
    if (!m_studio->isBusy())
        QDialog::reject();
}

void CloudStudioView::closeEvent(QCloseEvent* event)
{
    if (m_studio->isBusy())
        event->ignore();
    else
        QDialog::closeEvent(event);
}
