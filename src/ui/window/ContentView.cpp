#include "ContentView.h"

#include "DetailHeader.h"
#include "DropHighlight.h"
#include "Drops.h"
#include "SidebarView.h"
#include "StatusLine.h"
#include "detail/DetailView.h"
#include "kit/Divider.h"
#include "kit/HairlineSplitter.h"
#include "kit/Symbols.h"
#include "kit/TolvaneTheme.h"
#include "settings/SettingsBar.h"
#include "store/AppState.h"
#include "studio/CloudStudioView.h"

#include <QDialog>
#include <QDragEnterEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

constexpr int sidebarMinimum = 220;
constexpr int sidebarIdeal = 240;
constexpr int sidebarMaximum = 340;
constexpr int detailMinimum = 400;
constexpr int settingsWidth = 270;

// A message box sizes itself to its shortest text; give the message room to read in a few lines,
// and set the title apart from it.
void widenAlert(QMessageBox& alert)
{
    if (auto* title = alert.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
    }
    if (auto* grid = qobject_cast<QGridLayout*>(alert.layout()))
        grid->addItem(new QSpacerItem(360, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

ContentView::ContentView(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_sidebar(new SidebarView(state)),
      m_detail(new DetailView(state)), m_settings(new SettingsBar(state)),
      m_splitter(new HairlineSplitter(Qt::Horizontal)), m_status(new StatusLine(state)),
      m_studioFactory(CloudStudioView::create)
{
    setAutoFillBackground(true);
    setAcceptDrops(true);

    m_sidebar->setMinimumWidth(sidebarMinimum);
    m_sidebar->setMaximumWidth(sidebarMaximum);
    m_settings->setFixedWidth(settingsWidth);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(makeDetailColumn());
    m_splitter->addWidget(m_settings);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setStretchFactor(2, 0);
    m_splitter->setSizes(initialSizes(1180));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_splitter, 1);
    layout->addWidget(new Divider);
    layout->addWidget(m_status);

    m_highlight = new DropHighlight(this);
    makeToolbar();
    connect(&state, &AppState::noticeChanged, this, &ContentView::showNotice);
    showNotice();
}

ContentView::~ContentView()
{
    // A toolbar that no window took is still ours.
    if (m_toolbar && !m_toolbar->parent())
        delete m_toolbar;
}

QList<int> ContentView::initialSizes(int width)
{
    const int handles = 2;
    const int detail = std::max(detailMinimum, width - sidebarIdeal - settingsWidth - handles);
    return {sidebarIdeal, detail, settingsWidth};
}

QWidget* ContentView::makeDetailColumn()
{
    auto* column = new QWidget;
    column->setMinimumWidth(detailMinimum);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new DetailHeader(m_state);
    layout->addWidget(m_header);
    layout->addWidget(m_detail, 1);
    return column;
}

void ContentView::setStudioFactory(StudioFactory factory)
{
    m_studioFactory = std::move(factory);
}

void ContentView::makeToolbar()
{
    m_toolbar = new QToolBar(QStringLiteral("Toolbar"));
    m_toolbar->setObjectName(QStringLiteral("mainToolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->setIconSize({16, 16});
    m_toolbar->toggleViewAction()->setEnabled(false);
    const auto add = [this](const QString& symbol, const QString& title, const QString& help) {
        QAction* action =
            m_toolbar->addAction(Symbols::icon(symbol, TolvaneTheme::ink(), 16), title);
        action->setToolTip(help.isEmpty() ? title : help);
        // Toolbar buttons are for the pointer; keyboard focus starts in the content.
        m_toolbar->widgetForAction(action)->setFocusPolicy(Qt::NoFocus);
        return action;
    };
    m_studioAction = add(QStringLiteral("sparkles"), QStringLiteral("AI Studio"), {});
    m_addAction = add(QStringLiteral("plus"), QStringLiteral("Add"),
                      QStringLiteral("Add images or folders (Ctrl+O)"));
    m_resetAction = add(QStringLiteral("arrow.counterclockwise"), QStringLiteral("Reset"),
                        QStringLiteral("Mark all as pending to process again with new settings"));
    m_clearAction = add(QStringLiteral("trash"), QStringLiteral("Clear"),
                        QStringLiteral("Remove all from the list"));
    connect(m_studioAction, &QAction::triggered, this, &ContentView::openStudio);
    connect(m_addAction, &QAction::triggered, &m_state, &AppState::openPanel);
    connect(m_resetAction, &QAction::triggered, &m_state, &AppState::resetAll);
    connect(m_clearAction, &QAction::triggered, &m_state, &AppState::clearAll);
    for (auto signal :
         {&AppState::isRunningChanged, &AppState::isImportingChanged, &AppState::itemsChanged})
        connect(&m_state, signal, this, &ContentView::updateActions);
    updateActions();
}

void ContentView::updateActions()
{
    const bool busy = m_state.isRunning() || m_state.isImporting();
    const bool empty = m_state.items().isEmpty();
    m_studioAction->setEnabled(!busy);
    m_addAction->setEnabled(!busy);
    m_resetAction->setEnabled(!busy && !empty);
    m_clearAction->setEnabled(!busy && !empty);
}

void ContentView::openStudio()
{
    if (m_studio || !m_studioFactory)
        return;
    QDialog* dialog = m_studioFactory(m_state, this);
    if (!dialog)
        return;
    m_studio = dialog;
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        dialog->deleteLater();
        if (m_studio == dialog)
            m_studio = nullptr;
    });
    dialog->open();
}

// The alert mirrors the store's notice: opened when one is recorded, updated when it changes,
// closed when something else clears it. Dismissing it clears the notice.
void ContentView::showNotice()
{
    const std::optional<QString> notice = m_state.notice();
    if (!notice) {
        if (m_alert)
            m_alert->done(QMessageBox::Ok);
        return;
    }
    if (m_alert) {
        m_alert->setInformativeText(*notice);
        return;
    }
    auto* alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Couldn't add images"),
                                  QStringLiteral("Couldn't add images"), QMessageBox::Ok, this);
    alert->setInformativeText(*notice);
    // The notice may name files: never read as markup.
    if (auto* details = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        details->setTextFormat(Qt::PlainText);
    widenAlert(*alert);
    m_alert = alert;
    connect(alert, &QDialog::finished, this, [this, alert] {
        alert->deleteLater();
        if (m_alert == alert)
            m_alert = nullptr;
        m_state.setNotice(std::nullopt);
    });
    alert->open();
}

void ContentView::setDropTargeted(bool targeted)
{
    if (m_dropTargeted == targeted)
        return;
    m_dropTargeted = targeted;
    m_highlight->setGeometry(rect());
    m_highlight->setVisible(targeted);
    if (targeted)
        m_highlight->raise();
}

// A drag that carries files is welcome at any time, so the frame shows even while a batch runs;
// whether the drop is taken is decided when it happens. Always a copy: an accepted move would let
// the source delete the originals.
void ContentView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!Drops::carriesFiles(event->mimeData()))
        return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setDropTargeted(true);
}

void ContentView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!Drops::carriesFiles(event->mimeData()))
        return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ContentView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setDropTargeted(false);
    event->accept();
}

// No leave follows a drop, so the frame goes here on both paths. The files are handed over after
// this handler returns, in the order they were dragged, in one call.
void ContentView::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    const QStringList paths = Drops::localPaths(event->mimeData());
    if (m_state.isRunning() || m_state.isImporting() || paths.isEmpty())
        return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QMetaObject::invokeMethod(
        this, [this, paths] { m_state.add(paths); }, Qt::QueuedConnection);
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_highlight->setGeometry(rect());
}
