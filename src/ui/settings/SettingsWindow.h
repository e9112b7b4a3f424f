#pragma once

#include <QList>
#include <QWidget>
#include <functional>

class QTabWidget;
class UpdateManager;

// The Settings window: one tab per area, each tab's content made afresh by its factory when the
// window opens, so every opening starts from a clean state. It fits its screen: a tab that would
// reach past it is made shorter and scrolls.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    struct Tab {
        QString label;
        QString symbol;
        std::function<QWidget*()> make;
    };

    // "API Keys" and "Updates", in this order.
    static QList<Tab> standardTabs(UpdateManager& updates);

    explicit SettingsWindow(const QList<Tab>& tabs, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return m_tabs; }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void followCurrentTab();
    void fitToScreen();

    QTabWidget* m_tabs;
    QList<int> m_ownHeights; // each tab's height before any fitting
    int m_chrome = 0;        // the window's height around a tab
};
