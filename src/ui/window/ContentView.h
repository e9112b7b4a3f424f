#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QToolBar>
#include <QWidget>
#include <functional>

class AppState;
class DetailHeader;
class DropHighlight;
class QAction;
class QSplitter;
class SidebarView;
class StatusLine;

// The main window's content: the queue, the detail column and the settings column side by side,
// a divider and the status line under them. It takes files dropped anywhere on it, owns the
// window's toolbar, presents the studio sheet and tells the user when an import found nothing.
class ContentView : public QWidget {
    Q_OBJECT

public:
    using StudioFactory = std::function<QDialog*(AppState& state, QWidget* parent)>;

    explicit ContentView(AppState& state, QWidget* parent = nullptr);
    ~ContentView() override;

    // The window's toolbar; the main window installs it (and then owns it).
    QToolBar* toolbar() const { return m_toolbar; }
    // Makes the studio sheet each time it is opened (the real studio unless replaced).
    void setStudioFactory(StudioFactory factory);

    bool dropTargeted() const { return m_dropTargeted; }
    bool showStudio() const { return m_studio != nullptr; }
    QSplitter* splitter() const { return m_splitter; }
    SidebarView* sidebar() const { return m_sidebar; }
    DetailHeader* detailHeader() const { return m_header; }
    QWidget* detailArea() const { return m_detail; }
    QWidget* settingsColumn() const { return m_settings; }
    StatusLine* statusLine() const { return m_status; }
    DropHighlight* dropHighlight() const { return m_highlight; }
    QMessageBox* importAlert() const { return m_alert; }
    QDialog* studio() const { return m_studio; }
    // Sidebar, detail and settings widths for a content width: 240 and 270, the detail the rest
    // but never under its minimum.
    static QList<int> initialSizes(int width);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeDetailColumn();
    void makeToolbar();
    void updateActions();
    void openStudio();
    void showNotice();
    void setDropTargeted(bool targeted);

    AppState& m_state;
    SidebarView* m_sidebar;
    DetailHeader* m_header = nullptr;
    QWidget* m_detail;
    QWidget* m_settings;
    QSplitter* m_splitter;
    StatusLine* m_status;
    DropHighlight* m_highlight;
    QPointer<QToolBar> m_toolbar;
    QAction* m_studioAction = nullptr;
    QAction* m_addAction = nullptr;
    QAction* m_resetAction = nullptr;
    QAction* m_clearAction = nullptr;
    StudioFactory m_studioFactory;
    QPointer<QDialog> m_studio;
    QPointer<QMessageBox> m_alert;
    bool m_dropTargeted = false;
};
