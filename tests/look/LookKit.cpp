#include "Look.h"

#include "ui/kit/ElidedLabel.h"
#include "ui/kit/SegmentedControl.h"
#include "ui/kit/TolvaneTheme.h"

#include <QApplication>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

// Segmented controls current, none, disabled and narrow; elided labels at two widths.
QWidget* kitSheet()
{
    auto* sheet = new QWidget;
    sheet->setFixedWidth(270);
    auto* layout = new QVBoxLayout(sheet);
    layout->setSpacing(14);
    const QStringList workflows{"Enhance", "Convert", "Vector"};
    auto* current = new SegmentedControl(workflows);
    current->setCurrentIndex(0);
    auto* none = new SegmentedControl(workflows);
    auto* disabled = new SegmentedControl(workflows);
    disabled->setCurrentIndex(2);
    disabled->setEnabled(false);
    auto* zoom = new SegmentedControl({"Fit", "2×", "4×", "8×"});
    zoom->setCurrentIndex(1);
    zoom->setFixedWidth(150);
    auto* name = new ElidedLabel(QStringLiteral("a-very-long-holiday-photo-name-0042.heic"));
    name->setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::headline));
    auto* folder = new ElidedLabel(QStringLiteral("/home/someone/Pictures/Exports/2026/Summer"));
    folder->setFixedWidth(120);
    for (QWidget* widget : {static_cast<QWidget*>(current), static_cast<QWidget*>(none),
                            static_cast<QWidget*>(disabled), static_cast<QWidget*>(zoom),
                            static_cast<QWidget*>(name), static_cast<QWidget*>(folder)})
        layout->addWidget(widget);
    return Look::onBackdrop(sheet);
}

// A tooltip over a button, as the pointer leaves it.
QWidget* tooltipOwner()
{
    auto* button = new QPushButton(QStringLiteral("Add"));
    button->setToolTip(QStringLiteral("Adjust the before and after comparison"));
    return Look::onBackdrop(button);
}

void showTooltip(QWidget* backdrop)
{
    QWidget* button = backdrop->findChild<QPushButton*>();
    QToolTip::showText(button->mapToGlobal(QPoint(8, button->height())), button->toolTip(), button);
}

QWidget* shownTooltip(QWidget*)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits("QTipLabel") && widget->isVisible())
            return widget;
    return nullptr;
}

const Look::Registration states{{
    {QStringLiteral("kit-segments-and-labels"), kitSheet},
    {QStringLiteral("kit-tooltip"), tooltipOwner, {}, showTooltip, shownTooltip},
}};

} // namespace
