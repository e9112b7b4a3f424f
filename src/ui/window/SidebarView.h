#pragma once

#include <QWidget>

class AppState;
class DropHint;
class ItemRowDelegate;
class QLabel;
class QListView;
class QStackedWidget;
class QToolButton;
class QueueModel;

// The queue column: the wordmark, a count of the queue, an add button and, under a divider, the
// compact drop hint while the queue is empty or the list of queued images. The list's selection
// and the store's are one: either side follows the other.
class SidebarView : public QWidget {
    Q_OBJECT

public:
    explicit SidebarView(AppState& state, QWidget* parent = nullptr);

    // "Ready when you are", "1 image", "12 images".
    static QString subtitle(int count);

    QListView* list() const { return m_list; }
    QueueModel* model() const { return m_model; }
    ItemRowDelegate* delegate() const { return m_delegate; }
    QToolButton* addButton() const { return m_add; }
    QString subtitleText() const;
    bool showsHint() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* makeHeader();
    void refresh();
    void showSelection();
    void takeListSelection();
    void openRowMenu(const QPoint& position);

    AppState& m_state;
    QueueModel* m_model;
    QListView* m_list;
    ItemRowDelegate* m_delegate;
    QLabel* m_subtitle = nullptr;
    QToolButton* m_add = nullptr;
    DropHint* m_hint;
    QStackedWidget* m_body;
    bool m_modelChanging = false;
    bool m_syncing = false;
};
