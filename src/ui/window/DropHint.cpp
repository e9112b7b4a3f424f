#include "DropHint.h"

#include "kit/AquaButton.h"
#include "kit/FitImage.h"
#include "kit/SymbolLabel.h"
#include "kit/Symbols.h"
#include "kit/TolvaneTheme.h"
#include "store/AppState.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

using Style = TolvaneTheme::TextStyle;

QLabel* text(const QString& content, const QFont& font, const QColor& colour)
{
    auto* label = new QLabel(content);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

} // namespace

DropHint::DropHint(AppState& state, bool compact, QWidget* parent)
    : QWidget(parent), m_state(state), m_compact(compact)
{
    if (compact)
        buildCompact();
    else
        buildFull();
}

void DropHint::buildCompact()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(0);
    layout->addStretch(1);

    auto* symbol = new QLabel;
    symbol->setPixmap(Symbols::pixmap(QStringLiteral("photo.stack"), TolvaneTheme::muted(), 28));
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    layout->addSpacing(14);
    layout->addWidget(text(QStringLiteral("Start with an image"),
                           TolvaneTheme::font(Style::headline), TolvaneTheme::ink()),
                      0, Qt::AlignHCenter);
    layout->addSpacing(6);
    auto* drop = text(QStringLiteral("Drop images or folders here"),
                      TolvaneTheme::font(Style::caption), TolvaneTheme::muted());
    layout->addWidget(drop, 0, Qt::AlignHCenter);
    layout->addSpacing(16);
    layout->addStretch(1);
}

void DropHint::buildFull()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 32, 32, 32);
    layout->setSpacing(0);
    layout->addStretch(1);

    const QImage artwork = TolvaneTheme::artwork(QStringLiteral("tolvane-enlarger-v2"));
    if (!artwork.isNull()) {
        auto* picture = new FitImage;
        picture->setImage(artwork);
        picture->setFixedHeight(180);
        picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        layout->addWidget(picture);
        layout->addSpacing(16);
    }

    // Wraps in a narrow area, and its layout asks for every line's height: never cut.
    auto* headline = text(QStringLiteral("Bigger, cleaner, yours"), TolvaneTheme::displayFont(54),
                          TolvaneTheme::ink());
    QSizePolicy wrapping(QSizePolicy::Ignored, QSizePolicy::Minimum);
    wrapping.setHeightForWidth(true);
    headline->setSizePolicy(wrapping);
    headline->setWordWrap(true);
    layout->addWidget(headline);
    layout->addSpacing(12);

    m_choose = new AquaButton(QStringLiteral("Choose Images…"), true);
    m_choose->setControlSize(AquaButton::ControlSize::large);
    connect(m_choose, &QPushButton::clicked, &m_state, &AppState::openPanel);
    layout->addWidget(m_choose, 0, Qt::AlignLeft);
    layout->addSpacing(16);

    QFont small = TolvaneTheme::font(Style::caption);
    small.setWeight(QFont::DemiBold);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    layout->addWidget(text(QStringLiteral("OR DROP IMAGES ANYWHERE IN THIS WINDOW"), small,
                           TolvaneTheme::muted()));
    layout->addSpacing(24);

    auto* labels = new QHBoxLayout;
    labels->setSpacing(20);
    const QFont caption = TolvaneTheme::font(Style::caption);
    for (const auto& [symbol, title] :
         {std::pair{QStringLiteral("lock.shield"), QStringLiteral("On-device AI")},
          std::pair{QStringLiteral("stack-2"), QStringLiteral("Whole folders at once")}}) {
        auto* label = new SymbolLabel(symbol, title, TolvaneTheme::muted());
        label->setFont(caption);
        labels->addWidget(label);
    }
    labels->addStretch(1);
    layout->addLayout(labels);
    layout->addStretch(1);

    auto update = [this] { m_choose->setEnabled(!m_state.isImporting()); };
    connect(&m_state, &AppState::isImportingChanged, this, update);
    update();
}
