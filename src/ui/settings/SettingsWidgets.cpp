#include "SettingsWidgets.h"
#include "kit/TextLabel.h"

#include "ui/kit/TolvaneTheme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace SettingsWidgets {

namespace {

class WheelGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* control = static_cast<QWidget*>(watched);
        if (event->type() != QEvent::Wheel || control->hasFocus())
            return false;
        // Unaccepted and filtered: the event goes on to the parents, up to the scroll area.
        event->ignore();
        return true;
    }
};

} // namespace

void scrollPastUnlessFocused(QWidget* control)
{
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(new WheelGuard(control));
}

QLabel* caption(const QString& text, QWidget* parent)
{
    QLabel* label = TextLabel::make(text, TolvaneTheme::TextStyle::caption, TolvaneTheme::muted());
    label->setParent(parent);
    return label;
}

QWidget* labelledRow(const QString& title, QWidget* field, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* label = new QLabel(title, row);
    label->setBuddy(field);
    field->setParent(row);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(label);
    layout->addWidget(field, 1);
    return row;
}

} // namespace SettingsWidgets
