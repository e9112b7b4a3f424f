#include "DetailView.h"

#include "CompareView.h"
#include "SingleImageView.h"
#include "VectorPreview.h"
#include "core/FileNames.h"
#include "store/AppState.h"
#include "window/DropHint.h"

#include <QStackedLayout>
#include <cmath>

DetailView::Choice DetailView::choose(const std::optional<Item>& item, ScaleFactor scale)
{
    if (!item)
        return {};
    if (!item->outputPath.isEmpty()) {
        const bool svg = FileNames::pathExtension(item->outputPath).toLower() == u"svg";
        return {svg ? Kind::vector : Kind::compare, item->outputPath, {}};
    }
    return {Kind::single, item->id.toString(), caption(*item, scale)};
}

QString DetailView::caption(const Item& item, ScaleFactor scale)
{
    switch (item.status.kind()) {
    case Item::Status::Kind::working: {
        const double percent = item.status.fraction() * 100.0;
        // A fraction that is not finite shows 0 rather than an undefined cast.
        const long long whole = std::isfinite(percent) ? static_cast<long long>(percent) : 0;
        return QStringLiteral("Enhancing… ") + QString::number(whole) + u'%';
    }
    case Item::Status::Kind::failed:
        return item.status.message();
    case Item::Status::Kind::pending:
    case Item::Status::Kind::done:
        break;
    }
    return scale == ScaleFactor::x1 ? tr("Original · Choose a format, then Convert")
                                    : tr("Original · Choose a scale, then Enhance");
}

DetailView::DetailView(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_stack(new QStackedLayout(this)),
      m_hint(new DropHint(state, false))
{
    m_stack->addWidget(m_hint);
    connect(&state, &AppState::selectionChanged, this, &DetailView::refresh);
    connect(&state, &AppState::itemRemoved, this, &DetailView::refresh);
    connect(&state, &AppState::itemsCleared, this, &DetailView::refresh);
    connect(&state, &AppState::scaleChanged, this, &DetailView::refresh);
    connect(&state, &AppState::itemChanged, this, [this](int row) {
        const auto selection = m_state.selection();
        if (selection && row >= 0 && row < m_state.items().size() &&
            m_state.items().at(row).id == *selection)
            refresh();
    });
    refresh();
}

void DetailView::refresh()
{
    const auto item = m_state.selectedItem();
    const Choice choice = choose(item, m_state.scale());
    if (choice.kind == m_choice.kind && choice.key == m_choice.key) {
        if (auto* single = qobject_cast<SingleImageView*>(m_content.data()))
            single->setCaption(choice.caption);
        m_choice = choice;
        return;
    }
    // The source shown until now stands in while the same item's comparison gets ready.
    QImage shown;
    if (auto* single = qobject_cast<SingleImageView*>(m_content.data());
        single && item && m_choice.key == item->id.toString())
        shown = single->image();
    m_choice = choice;
    if (m_content) {
        m_stack->removeWidget(m_content);
        m_content->deleteLater();
        m_content = nullptr;
    }
    if (choice.kind == Kind::dropHint) {
        m_stack->setCurrentWidget(m_hint);
        return;
    }
    m_content = build(*item, choice.kind, shown);
    m_stack->addWidget(m_content);
    m_stack->setCurrentWidget(m_content);
}

QWidget* DetailView::build(const Item& item, Kind kind, const QImage& shown)
{
    switch (kind) {
    case Kind::vector:
        return new VectorPreview(item.outputPath);
    case Kind::compare:
        return new CompareView(item.path, item.outputPath, shown);
    case Kind::single:
    case Kind::dropHint:
        break;
    }
    return new SingleImageView(item.path, m_choice.caption);
}
