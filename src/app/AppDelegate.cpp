#include "AppDelegate.h"

#include "store/AppState.h"
#include "ui/kit/TolvaneTheme.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSessionManager>
#include <memory>

namespace {

// How long a confirmed quit waits for the item in progress to notice the stop.
constexpr int stopWaitMs = 10000;

// Ends the event loop without asking the windows first: quit() would, and a busy sheet refuses.
void endEventLoop()
{
    QCoreApplication::exit(0);
}

} // namespace

AppDelegate::AppDelegate(QObject* parent)
    : QObject(parent), m_ask(&AppDelegate::askWithBox), m_exit(&endEventLoop)
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, &AppDelegate::commitData);
}

void AppDelegate::watch(QWidget* mainWindow, AppState& state)
{
    m_window = mainWindow;
    m_pendingState = &state;
    mainWindow->installEventFilter(this);
    if (mainWindow->isVisible())
        m_state = &state;
}

AppState* AppDelegate::state() const
{
    return m_state;
}

bool AppDelegate::needsConfirmation() const
{
    return m_state && (m_state->isRunning() || m_state->isCloudRunning());
}

bool AppDelegate::shouldTerminate()
{
    if (m_finishing || !needsConfirmation())
        return true;
    // A request made while the question is open is answered by that question.
    if (m_asking)
        return false;
    const QScopedValueRollback<bool> asking(m_asking, true);
    return m_ask();
}

bool AppDelegate::quit()
{
    if (!shouldTerminate())
        return false;
    finish();
    return true;
}

// A confirmed quit ends the batch properly: the item in progress is cancelled and removes its
// hidden file before the event loop ends.
void AppDelegate::finish()
{
    m_finishing = true;
    if (m_state)
        m_state->stopAndWait(stopWaitMs);
    m_exit();
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::Show && m_pendingState)
        m_state = m_pendingState;
    if (event->type() == QEvent::Close && !m_finishing) {
        if (!shouldTerminate()) {
            // "Keep Processing": the window stays, as the only way back to the work.
            event->ignore();
            return true;
        }
        finish();
    }
    return QObject::eventFilter(watched, event);
}

// Logging out: ask when the session lets us, otherwise stop cleanly before it ends us.
void AppDelegate::commitData(QSessionManager& manager)
{
    if (m_finishing || !needsConfirmation())
        return;
    if (manager.allowsInteraction()) {
        const bool quit = m_ask();
        manager.release();
        if (!quit) {
            manager.cancel();
            return;
        }
    }
    m_finishing = true;
    m_state->stopAndWait(stopWaitMs);
}

QStringList AppDelegate::launchPaths(const QStringList& arguments)
{
    QStringList paths;
    for (const QString& argument : arguments) {
        if (!argument.isEmpty() && !argument.startsWith(QLatin1Char('-')))
            paths << QFileInfo(argument).absoluteFilePath();
    }
    return paths;
}

void AppDelegate::openPaths(AppState& state, const QStringList& arguments)
{
    const QStringList paths = launchPaths(arguments);
    if (!paths.isEmpty())
        state.add(paths);
}

QMessageBox* AppDelegate::makeQuitBox(QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(QStringLiteral("Tolvane"));
    box->setWindowModality(Qt::ApplicationModal);
    const QIcon icon = TolvaneTheme::applicationIcon();
    box->setWindowIcon(icon);
    if (icon.isNull())
        box->setIcon(QMessageBox::Warning);
    else
        box->setIconPixmap(icon.pixmap(64, 64));
    box->setText(QStringLiteral("Images are still processing"));
    box->setInformativeText(
        QStringLiteral("Quitting can interrupt processing. Cloud requests may still complete and "
                       "use credits. Images already saved will be kept."));
    if (auto* message = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        message->setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::headline));
    if (auto* details = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        details->setMinimumWidth(300);
    QPushButton* keep = box->addButton(QStringLiteral("Keep Processing"), QMessageBox::RejectRole);
    box->addButton(QStringLiteral("Quit Tolvane"), QMessageBox::AcceptRole);
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    return box;
}

bool AppDelegate::askWithBox()
{
    std::unique_ptr<QMessageBox> box(makeQuitBox(QApplication::activeWindow()));
    box->exec();
    // Only the quit button quits; closing the box any other way keeps processing.
    return box->clickedButton() && box->clickedButton() != box->escapeButton() &&
           box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
}
