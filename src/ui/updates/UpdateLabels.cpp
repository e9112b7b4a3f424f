#include "UpdateLabels.h"

#include "kit/TextLabel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace UpdateLabels {

QLabel* applicationIcon(int px)
{
    auto* label = new QLabel;
    label->setFixedSize(px, px);
    // The running application's icon; the product's own before the application has set one.
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull() || icon.availableSizes().isEmpty())
        icon = TolvaneTheme::applicationIcon();
    label->setPixmap(icon.pixmap(px, px));
    return label;
}

QWidget* productHeader(QLabel* subtitle)
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(16);
    row->addWidget(applicationIcon(64), 0, Qt::AlignVCenter);
    // Stretch above and below keeps the two lines 4 apart, centred on the icon.
    auto* names = new QVBoxLayout;
    names->setSpacing(4);
    names->addStretch(1);
    using TolvaneTheme::TextStyle;
    QFont title = TolvaneTheme::font(TextStyle::title2);
    title.setWeight(QFont::DemiBold);
    auto* product = TextLabel::make(QStringLiteral("Tolvane"), TextStyle::title2);
    product->setFont(title);
    names->addWidget(product);
    names->addWidget(subtitle);
    names->addStretch(1);
    row->addLayout(names, 1);
    return header;
}

} // namespace UpdateLabels
