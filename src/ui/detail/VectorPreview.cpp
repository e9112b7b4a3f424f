#include "VectorPreview.h"

#include "SvgSanitizer.h"
#include "VectorCanvas.h"
#include "kit/AquaButton.h"
#include "kit/Symbols.h"
#include "kit/TextLabel.h"
#include "kit/TolvaneTheme.h"
#include "kit/Workspace.h"

#include "core/RegularFile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStringDecoder>
#include <QVBoxLayout>
#include <atomic>

namespace {
std::atomic<int> reads{0};
}

VectorPreview::VectorPreview(const QString& path, QWidget* parent)
    : QWidget(parent), m_path(path), m_canvas(new VectorCanvas(path))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->addWidget(m_canvas, 1);
    layout->addWidget(makeCaptionRow());
}

QWidget* VectorPreview::makeCaptionRow()
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 0, 16, 16);
    const QFont caption = TolvaneTheme::font(TolvaneTheme::TextStyle::caption);
    auto* symbol = new QLabel;
    symbol->setPixmap(
        Symbols::pixmap(QStringLiteral("point.topleft.down.curvedto.point.bottomright.up"),
                        TolvaneTheme::muted(), QFontMetrics(caption).height()));
    layout->addWidget(symbol);
    auto* text = new QLabel(tr("Editable SVG · Up to 8 colors · No embedded bitmap"));
    text->setFont(caption);
    TextLabel::setColour(text, TolvaneTheme::muted());
    layout->addWidget(text);
    layout->addStretch(1);
    auto* reveal = new AquaButton(tr("Show SVG in Folder"));
    connect(reveal, &QAbstractButton::clicked, this, [this] { Workspace::reveal(m_path); });
    layout->addWidget(reveal);
    return row;
}

std::optional<QByteArray> VectorPreview::prepare(const QString& path)
{
    // Opened without blocking: a FIFO where the traced file was must not hold up the preview.
    const RegularFile file(path);
    if (!file.isOpen() || file.size() > maxBytes)
        return std::nullopt;
    ++reads;
    const QByteArray data = file.readAll(maxBytes);
    if (data.isEmpty() && file.size() > 0)
        return std::nullopt;
    // Entities could bring in markup that no text filter sees; traced files never declare any.
    if (data.contains("<!ENTITY"))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    text.remove(QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>)"));
    return SvgSanitizer::withoutExternalImages(text).toUtf8();
}

int VectorPreview::readCount()
{
    return reads;
}
