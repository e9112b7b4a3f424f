#include "HairlineSplitter.h"

#include "SystemColors.h"

#include <QPainter>
#include <QSplitterHandle>

namespace {
class Hairline : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), SystemColors::divider());
    }
};
} // namespace

HairlineSplitter::HairlineSplitter(Qt::Orientation orientation, QWidget* parent)
    : QSplitter(orientation, parent)
{
    setHandleWidth(1);
}

QSplitterHandle* HairlineSplitter::createHandle()
{
    return new Hairline(orientation(), this);
}
