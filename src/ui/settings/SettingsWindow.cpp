#include "SettingsWindow.h"

#include "kit/ScreenFit.h"
#include "kit/Symbols.h"
#include "kit/TolvaneTheme.h"

#include <QTabWidget>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(const QList<Tab>& tabs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_tabs(new QTabWidget(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(m_tabs);
    m_tabs->setDocumentMode(true);
    m_tabs->setIconSize(QSize(16, 16));
    for (const Tab& tab : tabs)
        m_tabs->addTab(tab.make(), Symbols::icon(tab.symbol, TolvaneTheme::ink(), 16), tab.label);
    connect(m_tabs, &QTabWidget::currentChanged, this, &SettingsWindow::followCurrentTab);
    followCurrentTab();
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // A page's own height: the one it fixed for itself, else the one it asks for.
    int tallest = 0;
    for (int index = 0; index < m_tabs->count(); ++index) {
        const QWidget* page = m_tabs->widget(index);
        m_ownHeights.append(std::max(page->minimumHeight(), page->sizeHint().height()));
        tallest = std::max(tallest, m_ownHeights.last());
    }
    m_chrome = sizeHint().height() - tallest;
}

// A tab taller than the screen allows is given less height; the keys view scrolls what it
// cannot show. On a larger screen it has its own height again.
void SettingsWindow::fitToScreen()
{
    const int room = ScreenFit::availableHeight(*this) - m_chrome;
    for (int index = 0; index < m_tabs->count(); ++index) {
        QWidget* page = m_tabs->widget(index);
        const int own = m_ownHeights.value(index);
        if (own > room || page->height() < own)
            page->setFixedHeight(std::max(std::min(own, room), page->minimumSizeHint().height()));
    }
    ScreenFit::keepWithin(*this);
}

void SettingsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    fitToScreen();
}

// Placed or framed anew, the window may have another screen or a known frame.
void SettingsWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    fitToScreen();
}

// The window is named after the tab it shows.
void SettingsWindow::followCurrentTab()
{
    const int index = m_tabs->currentIndex();
    setWindowTitle(index < 0 ? QStringLiteral("Settings") : m_tabs->tabText(index));
}
