#include "StatusLine.h"

#include "kit/ElidedLabel.h"
#include "kit/Spinner.h"
#include "kit/Symbols.h"
#include "kit/TolvaneTheme.h"
#include "store/AppState.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <cmath>

namespace {
constexpr int barMaximum = 1000;
constexpr int symbolSize = 13;
} // namespace

StatusLine::Content StatusLine::compute(const AppState& state)
{
    Content content;
    if (state.isImporting()) {
        content.form = Content::Form::importing;
        content.text = QStringLiteral("Adding images…");
    } else if (state.isRunning()) {
        content.form = Content::Form::running;
        const double progress = state.progress();
        content.progress = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
        content.text =
            QStringLiteral("%1 of %2 saved").arg(state.completedCount()).arg(state.items().size());
    } else if (const std::optional<QString> summary = state.lastRunSummary()) {
        content.symbol = QStringLiteral("checkmark.circle");
        content.text = *summary;
    } else {
        content.symbol = QStringLiteral("lock.shield");
        content.text = QStringLiteral("On-device AI · Your images stay on your computer");
    }
    return content;
}

StatusLine::StatusLine(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_spinner(new Spinner(16)), m_bar(new QProgressBar),
      m_symbol(new QLabel), m_text(new ElidedLabel)
{
    setFixedHeight(36);
    setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::caption));
    QPalette muted = palette();
    muted.setColor(QPalette::WindowText, TolvaneTheme::muted());
    setPalette(muted);

    m_bar->setRange(0, barMaximum);
    m_bar->setTextVisible(false);
    m_bar->setFixedSize(120, 6);
    m_text->setElideMode(Qt::ElideRight);
    m_text->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    auto* brand = new QLabel(QStringLiteral("Tolvane"));
    QFont medium = font();
    medium.setWeight(QFont::Medium);
    brand->setFont(medium);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 0, 16, 0);
    layout->setSpacing(10);
    layout->addWidget(m_spinner);
    layout->addWidget(m_bar);
    layout->addWidget(m_symbol);
    layout->addWidget(m_text, 0);
    layout->addStretch(1);
    layout->addWidget(brand);

    for (auto signal : {&AppState::isImportingChanged, &AppState::isRunningChanged,
                        &AppState::itemsChanged, &AppState::lastRunSummaryChanged})
        connect(&state, signal, this, &StatusLine::refresh);
    refresh();
}

QString StatusLine::text() const
{
    return m_text->text();
}

void StatusLine::refresh()
{
    using Form = Content::Form;
    const Content content = compute(m_state);
    m_spinner->setVisible(content.form == Form::importing);
    m_bar->setVisible(content.form == Form::running);
    m_bar->setValue(int(std::lround(content.progress * barMaximum)));
    m_symbol->setVisible(content.form == Form::idle);
    if (content.symbol != m_shownSymbol) {
        m_shownSymbol = content.symbol;
        m_symbol->setPixmap(Symbols::pixmap(content.symbol, TolvaneTheme::muted(), symbolSize));
    }
    m_text->setText(content.text);
}
