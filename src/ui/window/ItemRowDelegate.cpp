#include "ItemRowDelegate.h"

#include "ItemRow.h"
#include "QueueModel.h"
#include "core/FileNames.h"
#include "kit/Symbols.h"
#include "kit/SystemColors.h"
#include "kit/TolvaneTheme.h"
#include "store/AppState.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QTextLayout>

namespace {

using Style = TolvaneTheme::TextStyle;

constexpr int thumbSide = 44;
constexpr qreal thumbRadius = 6;
constexpr int selectionInset = 8; // from the column's edges
constexpr int contentInset = 8;   // inside the selection
constexpr int verticalPadding = 6;
constexpr int columnSpacing = 10;
constexpr int lineSpacing = 3;
constexpr int symbolSpacing = 4;

QFont nameFont()
{
    return TolvaneTheme::font(Style::body);
}

QFont sizeFont()
{
    return TolvaneTheme::font(Style::caption);
}

QFont statusFont()
{
    return TolvaneTheme::font(Style::caption2);
}

QColor toneColour(ItemRow::Status::Tone tone)
{
    switch (tone) {
    case ItemRow::Status::Tone::accent:
        return TolvaneTheme::accent();
    case ItemRow::Status::Tone::red:
        return SystemColors::red();
    default:
        return TolvaneTheme::muted();
    }
}

// The thumbnail scaled to cover the square, centred, with its corners cut round.
QPixmap roundedFill(const QImage& source, int side, qreal ratio)
{
    const int pixels = qRound(side * ratio);
    const QImage covered =
        source.scaled(pixels, pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QImage square(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, pixels, pixels), thumbRadius * ratio, thumbRadius * ratio);
    painter.setClipPath(clip);
    painter.drawImage(QPointF((pixels - covered.width()) / 2.0, (pixels - covered.height()) / 2.0),
                      covered);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(square);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

struct ItemRowDelegate::Geometry {
    QRect selection;
    QRect thumb;
    QRect text; // the text column
};

ItemRowDelegate::ItemRowDelegate(AppState& state, QAbstractItemView& view)
    : QStyledItemDelegate(&view), m_state(state), m_view(view)
{
    QAbstractItemModel* model = view.model();
    connect(model, &QAbstractItemModel::dataChanged, this, &ItemRowDelegate::watchHeights);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ItemRowDelegate::forgetRemoved);
    connect(model, &QAbstractItemModel::modelReset, this, &ItemRowDelegate::forgetRemoved);
}

ItemRowDelegate::Geometry ItemRowDelegate::geometry(const QRect& row) const
{
    Geometry g;
    g.selection = row.adjusted(selectionInset, 1, -selectionInset, -1);
    const QRect content = g.selection.adjusted(contentInset, verticalPadding - 1, -contentInset,
                                               -(verticalPadding - 1));
    g.thumb = QRect(content.left(), content.center().y() - thumbSide / 2 + 1, thumbSide, thumbSide);
    g.text =
        QRect(g.thumb.right() + 1 + columnSpacing, content.top(),
              std::max(0, content.right() - g.thumb.right() - columnSpacing), content.height());
    return g;
}

QStringList ItemRowDelegate::failureLines(const QString& message, const QFont& font, int width)
{
    QString text = message;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    if (!first.isValid()) {
        layout.endLayout();
        return {};
    }
    first.setLineWidth(std::max(1, width));
    layout.endLayout();
    const QString head = text.left(first.textLength()).trimmed();
    const QString rest = text.mid(first.textLength()).trimmed();
    if (rest.isEmpty())
        return {head};
    return {head, QFontMetrics(font).elidedText(rest, Qt::ElideRight, width)};
}

int ItemRowDelegate::statusHeight(const Item& item, int width) const
{
    const ItemRow::Status status = ItemRow::status(item);
    const int line = QFontMetrics(statusFont()).height();
    if (status.maxLines < 2)
        return line;
    const int symbol = QFontInfo(statusFont()).pixelSize() + symbolSpacing;
    return line * int(failureLines(status.text, statusFont(), width - symbol).size());
}

int ItemRowDelegate::columnHeight(int statusHeight) const
{
    return QFontMetrics(nameFont()).height() + lineSpacing + QFontMetrics(sizeFont()).height() +
           lineSpacing + statusHeight;
}

int ItemRowDelegate::rowHeight(const Item& item, int width) const
{
    const int textWidth = geometry(QRect(0, 0, width, 100)).text.width();
    return std::max(thumbSide, columnHeight(statusHeight(item, textWidth))) + 2 * verticalPadding;
}

QSize ItemRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const QueueModel*>(index.model());
    const Item* item = model ? model->item(index) : nullptr;
    const int width = m_view.viewport()->width();
    if (!item)
        return {width, thumbSide + 2 * verticalPadding};
    const int height = rowHeight(*item, width);
    m_heights.insert(item->id, height);
    return {width, height};
}

// A row whose status changes between one and two lines must be laid out again; a tick of a
// working row keeps its height and costs no layout.
void ItemRowDelegate::watchHeights(const QModelIndex& first, const QModelIndex& last)
{
    const auto* model = qobject_cast<const QueueModel*>(m_view.model());
    if (!model)
        return;
    const int width = m_view.viewport()->width();
    for (int row = first.row(); row <= last.row(); ++row) {
        const QModelIndex index = model->index(row);
        const Item* item = model->item(index);
        if (!item)
            continue;
        const int height = rowHeight(*item, width);
        if (m_heights.value(item->id, height) != height) {
            m_heights.insert(item->id, height);
            Q_EMIT sizeHintChanged(index);
        }
    }
}

void ItemRowDelegate::forgetRemoved()
{
    QSet<QUuid> queued;
    for (const Item& item : m_state.items())
        queued.insert(item.id);
    for (auto it = m_thumbnails.begin(); it != m_thumbnails.end();)
        it = queued.contains(it.key()) ? std::next(it) : m_thumbnails.erase(it);
    for (auto it = m_heights.begin(); it != m_heights.end();)
        it = queued.contains(it.key()) ? std::next(it) : m_heights.erase(it);
}

QPixmap ItemRowDelegate::thumbnail(const Item& item) const
{
    const qreal ratio = m_view.devicePixelRatioF();
    auto found = m_thumbnails.constFind(item.id);
    if (found != m_thumbnails.constEnd() && found->devicePixelRatio() == ratio)
        return *found;
    QPixmap made;
    if (!item.thumbnail.isNull()) {
        made = roundedFill(item.thumbnail, thumbSide, ratio);
        ++m_thumbnailsMade;
    }
    m_thumbnails.insert(item.id, made);
    return made;
}

void ItemRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    const auto* model = qobject_cast<const QueueModel*>(index.model());
    const Item* item = model ? model->item(index) : nullptr;
    if (!item)
        return;
    const Geometry g = geometry(option.rect);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    if (option.state & (QStyle::State_Selected | QStyle::State_MouseOver)) {
        QColor fill = TolvaneTheme::accent();
        fill.setAlphaF(0.22f);
        if (!(option.state & QStyle::State_Selected))
            fill = QColor(255, 255, 255, 14); // hover
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(g.selection, 6, 6);
    }

    const QPixmap picture = thumbnail(*item);
    if (picture.isNull()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(SystemColors::secondary(0.2));
        painter->drawRoundedRect(g.thumb, thumbRadius, thumbRadius);
    } else {
        painter->drawPixmap(g.thumb.topLeft(), picture);
    }

    const QFontMetrics nameMetrics(nameFont()), sizeMetrics(sizeFont());
    const int status = statusHeight(*item, g.text.width());
    int y = g.text.top() + (g.text.height() - columnHeight(status)) / 2;
    painter->setFont(nameFont());
    painter->setPen(TolvaneTheme::ink());
    const QString name = FileNames::lastPathComponent(item->path).replace('\n', ' ');
    painter->drawText(QRect(g.text.left(), y, g.text.width(), nameMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                      nameMetrics.elidedText(name, Qt::ElideMiddle, g.text.width()));
    y += nameMetrics.height() + lineSpacing;
    painter->setFont(sizeFont());
    painter->setPen(TolvaneTheme::muted());
    painter->drawText(QRect(g.text.left(), y, g.text.width(), sizeMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                      sizeMetrics.elidedText(ItemRow::sizeText(*item, m_state.scale()),
                                             Qt::ElideRight, g.text.width()));
    y += sizeMetrics.height() + lineSpacing;
    paintStatus(*painter, *item, QRect(g.text.left(), y, g.text.width(), status));
    painter->restore();
}

void ItemRowDelegate::paintStatus(QPainter& painter, const Item& item, const QRect& area) const
{
    const ItemRow::Status status = ItemRow::status(item);
    const QFont font = statusFont();
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    painter.setFont(font);
    painter.setPen(toneColour(status.tone));

    if (status.form == ItemRow::Status::Form::progress) {
        QStyleOptionProgressBar bar;
        bar.initFrom(&m_view);
        bar.rect = QRect(area.left(), area.top() + (line - 6) / 2, area.width(), 6);
        bar.minimum = 0;
        bar.maximum = 1000;
        bar.progress = qRound(status.fraction * 1000);
        bar.textVisible = false;
        bar.state |= QStyle::State_Horizontal;
        m_view.style()->drawControl(QStyle::CE_ProgressBar, &bar, &painter, &m_view);
        return;
    }
    int x = area.left();
    if (!status.symbol.isEmpty()) {
        const int side = QFontInfo(font).pixelSize();
        const QPixmap symbol = Symbols::pixmap(status.symbol, toneColour(status.tone), side);
        painter.drawPixmap(x, area.top() + (line - side) / 2, symbol);
        x += side + symbolSpacing;
    }
    const int width = area.right() + 1 - x;
    const QStringList lines =
        status.maxLines > 1 ? failureLines(status.text, font, width)
                            : QStringList{metrics.elidedText(status.text, Qt::ElideRight, width)};
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QRect(x, area.top() + i * line, width, line),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, lines[i]);
}
