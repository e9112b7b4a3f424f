#pragma once

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QUuid>

class AppState;
class QAbstractItemView;
struct Item;

// Draws one queue row: the 44-point thumbnail (cropped to fill, rounded), the file name, the size
// line and the status line. Rows never touch files: the picture is the import's thumbnail, scaled
// once per item.
class ItemRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    ItemRowDelegate(AppState& state, QAbstractItemView& view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // A failure message as drawn in `width`: its first line, then the rest on a second line,
    // elided at the end when it still does not fit.
    static QStringList failureLines(const QString& message, const QFont& font, int width);
    // How many thumbnails have been scaled so far.
    int thumbnailsMade() const { return m_thumbnailsMade; }

private:
    struct Geometry;
    Geometry geometry(const QRect& row) const;
    int rowHeight(const Item& item, int width) const;
    // Name, size and status lines with their spacing.
    int columnHeight(int statusHeight) const;
    int statusHeight(const Item& item, int width) const;
    QPixmap thumbnail(const Item& item) const;
    void paintStatus(QPainter& painter, const Item& item, const QRect& area) const;
    void watchHeights(const QModelIndex& first, const QModelIndex& last);
    void forgetRemoved();

    AppState& m_state;
    QAbstractItemView& m_view;
    mutable QHash<QUuid, QPixmap> m_thumbnails;
    mutable QHash<QUuid, int> m_heights;
    mutable int m_thumbnailsMade = 0;
};
