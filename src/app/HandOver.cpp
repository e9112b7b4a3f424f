#include "HandOver.h"

#include "store/AppState.h"

#include <QWidget>
#include <utility>

HandOver::HandOver(AppState& state, QWidget* window, QObject* parent)
    : QObject(parent), m_state(state), m_window(window)
{
    // Queued: the store finishes its own step before the next import starts. Files that waited
    // leave the summary of the run that just ended on show.
    for (auto freed : {&AppState::isImportingChanged, &AppState::isRunningChanged})
        connect(
            &state, freed, this, [this] { addWaiting(AppState::Summary::kept); },
            Qt::QueuedConnection);
}

void HandOver::open(const QStringList& paths)
{
    bringWindowForward();
    m_waiting << paths;
    addWaiting(AppState::Summary::cleared);
}

void HandOver::bringWindowForward()
{
    if (!m_window)
        return;
    m_window->show();
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->raise();
    m_window->activateWindow();
}

bool HandOver::storeIsBusy() const
{
    return m_state.isRunning() || m_state.isImporting();
}

// Everything that waited goes in one import, which drops duplicates among them too.
void HandOver::addWaiting(AppState::Summary summary)
{
    if (m_waiting.isEmpty() || storeIsBusy())
        return;
    m_state.add(std::exchange(m_waiting, {}), summary);
}
