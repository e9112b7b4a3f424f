#include "Look.h"

#include "ui/kit/AquaButton.h"

#include <QGridLayout>
#include <QLabel>

namespace {

using Size = AquaButton::ControlSize;

// One row per control size: normal, pressed, disabled, with a symbol.
QWidget* buttonSheet(bool prominent)
{
    auto* sheet = new QWidget;
    auto* grid = new QGridLayout(sheet);
    grid->setSpacing(20);
    const std::pair<const char*, Size> sizes[] = {
        {"Mini", Size::mini},
        {"Small", Size::small},
        {"Regular", Size::regular},
        {"Large", Size::large},
        {"Extra large", Size::extraLarge},
    };
    int row = 0;
    for (const auto& [title, size] : sizes) {
        grid->addWidget(new QLabel(QString::fromLatin1(title)), row, 0);
        for (int column = 1; column <= 4; ++column) {
            auto* button = new AquaButton(QStringLiteral("Enhance Images"), prominent);
            button->setControlSize(size);
            if (column == 2)
                button->setDown(true);
            if (column == 3)
                button->setEnabled(false);
            if (column == 4) {
                button->setText(QStringLiteral("Add Images…"));
                button->setSymbol(QStringLiteral("plus"));
            }
            grid->addWidget(button, row, column, Qt::AlignLeft);
        }
        ++row;
    }
    return Look::onBackdrop(sheet);
}

const Look::Registration states{{
    {QStringLiteral("buttons-prominent"), [] { return buttonSheet(true); }},
    {QStringLiteral("buttons-plain"), [] { return buttonSheet(false); }},
}};

} // namespace
