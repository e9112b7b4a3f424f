#pragma once

#include "core/Item.h"
#include "core/JobSettings.h"

#include <QPointer>
#include <QWidget>
#include <optional>

class AppState;
class DropHint;
class QStackedLayout;

// The centre of the main window: the full drop hint with nothing selected, else the selected
// item's source preview, its before-and-after comparison or its SVG preview.
class DetailView : public QWidget {
    Q_OBJECT
public:
    enum class Kind { dropHint, single, compare, vector };

    // What to show for an item. `key` is the view's identity: while it stays the same only the
    // caption may change; a new key builds a new view.
    struct Choice {
        Kind kind = Kind::dropHint;
        QString key;
        QString caption;
    };

    static Choice choose(const std::optional<Item>& item, ScaleFactor scale);
    // The status line of an item without a result.
    static QString caption(const Item& item, ScaleFactor scale);

    explicit DetailView(AppState& state, QWidget* parent = nullptr);

    Kind kind() const { return m_choice.kind; }
    // The view shown for the selected item; null while the drop hint shows.
    QWidget* content() const { return m_content; }

private:
    void refresh();
    QWidget* build(const Item& item, Kind kind, const QImage& shown);

    AppState& m_state;
    QStackedLayout* m_stack;
    DropHint* m_hint;
    QPointer<QWidget> m_content;
    Choice m_choice;
};
