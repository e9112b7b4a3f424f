#include "SidebarView.h"

#include "DropHint.h"
#include "ItemRowDelegate.h"
#include "QueueModel.h"
#include "RowMenu.h"
#include "kit/Divider.h"
#include "kit/Symbols.h"
#include "kit/TolvaneTheme.h"
#include "store/AppState.h"

#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

SidebarView::SidebarView(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_model(new QueueModel(state, this)), m_list(new QListView),
      m_hint(new DropHint(state, true)), m_body(new QStackedWidget)
{
    // Model changes move the list's selection on their own (a removed current row hands its
    // selection to the next); only the store decides it then. Connected before the list's own
    // handlers, so the guard is up when they run.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this] { m_modelChanging = true; });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        m_modelChanging = false;
        showSelection();
    });
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_modelChanging = true; });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_modelChanging = false;
        showSelection();
    });
    m_list->setModel(m_model);
    m_delegate = new ItemRowDelegate(state, *m_list);
    m_list->setItemDelegate(m_delegate);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setMouseTracking(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    // The column's colour shows through the list.
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    QPalette clear = m_list->palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    m_list->setPalette(clear);

    m_body->addWidget(m_hint);
    m_body->addWidget(m_list);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(new Divider);
    layout->addWidget(m_body, 1);

    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SidebarView::takeListSelection);
    connect(m_list, &QWidget::customContextMenuRequested, this, &SidebarView::openRowMenu);

    for (auto signal :
         {&AppState::itemsChanged, &AppState::isRunningChanged, &AppState::isImportingChanged})
        connect(&state, signal, this, &SidebarView::refresh);
    connect(&state, &AppState::selectionChanged, this, &SidebarView::showSelection);
    refresh();
    showSelection();
}

QString SidebarView::subtitle(int count)
{
    if (count == 0)
        return QStringLiteral("Ready when you are");
    return QString::number(count) + QStringLiteral(" image") +
           (count == 1 ? QString() : QStringLiteral("s"));
}

QWidget* SidebarView::makeHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 16, 16, 16);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    auto* wordmark = new QLabel(QStringLiteral("TOLVANE"));
    QFont display = TolvaneTheme::displayFont(25);
    display.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    wordmark->setFont(display);
    m_subtitle = new QLabel;
    m_subtitle->setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::caption));
    QPalette muted = m_subtitle->palette();
    muted.setColor(QPalette::WindowText, TolvaneTheme::muted());
    m_subtitle->setPalette(muted);
    titles->addWidget(wordmark);
    titles->addWidget(m_subtitle);
    row->addLayout(titles);
    row->addStretch(1);

    m_add = new QToolButton;
    m_add->setIcon(Symbols::icon(QStringLiteral("plus"), TolvaneTheme::ink(), 16));
    m_add->setIconSize({16, 16});
    m_add->setAutoRaise(true);
    m_add->setToolTip(QStringLiteral("Add images"));
    m_add->setAccessibleName(QStringLiteral("Add images"));
    connect(m_add, &QToolButton::clicked, &m_state, &AppState::openPanel);
    row->addWidget(m_add);
    return header;
}

QString SidebarView::subtitleText() const
{
    return m_subtitle->text();
}

bool SidebarView::showsHint() const
{
    return m_body->currentWidget() == m_hint;
}

void SidebarView::refresh()
{
    const int count = int(m_state.items().size());
    m_subtitle->setText(subtitle(count));
    m_add->setEnabled(!m_state.isRunning() && !m_state.isImporting());
    m_body->setCurrentWidget(count == 0 ? static_cast<QWidget*>(m_hint) : m_list);
}

void SidebarView::showSelection()
{
    const std::optional<QUuid> selection = m_state.selection();
    const QModelIndex index = selection ? m_model->indexOf(*selection) : QModelIndex();
    QItemSelectionModel* model = m_list->selectionModel();
    const QScopedValueRollback<bool> syncing(m_syncing, true);
    if (!index.isValid()) {
        model->clearSelection();
    } else if (!model->isSelected(index)) {
        model->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_list->scrollTo(index);
    }
}

// Only the user's own choices reach the store: while the store's selection is being shown, or
// while rows go away under the list, the list's selection follows and is not read back.
void SidebarView::takeListSelection()
{
    if (m_syncing || m_modelChanging)
        return;
    const QModelIndexList chosen = m_list->selectionModel()->selectedIndexes();
    m_state.setSelection(chosen.isEmpty() ? std::nullopt
                                          : std::optional<QUuid>(m_model->id(chosen.first())));
}

void SidebarView::openRowMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    const Item* item = m_model->item(index);
    if (!item)
        return;
    QMenu* menu = buildRowMenu(*item, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(removeEntry(*menu), &QAction::triggered, this,
            [this, id = item->id] { m_state.remove(id); });
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

void SidebarView::paintEvent(QPaintEvent*)
{
    QColor panel = TolvaneTheme::panel();
    panel.setAlphaF(0.55f);
    QPainter(this).fillRect(rect(), panel);
}
