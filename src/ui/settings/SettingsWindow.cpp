#include "SettingsWindow.h"

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
}

// The window is named after the tab it shows.
void SettingsWindow::followCurrentTab()
{
    const int index = m_tabs->currentIndex();
    setWindowTitle(index < 0 ? QStringLiteral("Settings") : m_tabs->tabText(index));
}
