#include "RunRow.h"

#include "SettingsRules.h"
#include "SettingsWidgets.h"

#include "store/AppState.h"
#include "ui/kit/AquaButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

RunRow::RunRow(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_run(new AquaButton({}, true, this)),
      m_stop(new AquaButton(QStringLiteral("Stop Processing"), false, this)),
      m_caption(SettingsWidgets::caption({}, this))
{
    m_run->setControlSize(AquaButton::ControlSize::large);
    m_run->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // A window-wide shortcut of its own: the button's text would replace a button shortcut with
    // its mnemonic. It follows the button, so a hidden or disabled button ignores it.
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), m_run);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, m_run, &QAbstractButton::click);
    connect(m_run, &QAbstractButton::clicked, this, [this] { m_state.start(); });

    m_stop->setControlSize(AquaButton::ControlSize::large);
    m_stop->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_stop->setSymbol(QStringLiteral("stop.fill"));
    connect(m_stop, &QAbstractButton::clicked, this, &RunRow::stop);

    auto* hint = SettingsWidgets::caption(QStringLiteral("Ctrl+↩"), this);
    // One line each: the count shares its row with the shortcut.
    m_caption->setWordWrap(false);
    hint->setWordWrap(false);
    auto* captions = new QHBoxLayout;
    captions->setContentsMargins(0, 0, 0, 0);
    captions->addWidget(m_caption);
    captions->addStretch(1);
    captions->addWidget(hint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(10);
    layout->addWidget(m_run);
    layout->addWidget(m_stop);
    layout->addLayout(captions);
}

void RunRow::refresh()
{
    using namespace SettingsRules;
    const bool running = m_state.isRunning();
    const int queued = int(m_state.items().size());
    const int pending = m_state.pendingCount();

    m_run->setVisible(!running);
    m_stop->setVisible(running);
    m_run->setText(actionTitle(m_state.scale(), m_state.format(), pending, queued));
    m_run->setSymbol(runIconName(m_state.scale(), m_state.format()));
    m_run->setEnabled(queued > 0 && !m_state.isImporting());
    m_caption->setText(SettingsRules::queueCaption(pending, queued));
}

// Only raises the flag; the batch ends at its next check point and the store then leaves the
// running state, which brings the run button back.
void RunRow::stop()
{
    if (const CancelTokenPtr token = m_state.token())
        token->cancel();
}
