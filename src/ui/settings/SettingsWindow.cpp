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
    for (int index = 0; index < m_tabs->count(); ++index)
        m_fullHeight = std::max(m_fullHeight, m_tabs->widget(index)->sizeHint().height());
    m_chrome = sizeHint().height() - m_fullHeight;
}

// A tab taller than the screen allows is given less height; the keys view scrolls what it
// cannot show.
void SettingsWindow::fitToScreen()
{
    const int pageHeight = std::min(m_fullHeight, ScreenFit::availableHeight(*this) - m_chrome);
    for (int index = 0; index < m_tabs->count(); ++index) {
        QWidget* page = m_tabs->widget(index);
        if (page->sizeHint().height() > pageHeight || page->maximumHeight() > pageHeight)
            page->setFixedHeight(std::max(pageHeight, page->minimumSizeHint().height()));
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
