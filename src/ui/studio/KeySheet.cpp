#include "KeySheet.h"

#include "APIKeysView.h"
#include "kit/AquaButton.h"
#include "kit/ScreenFit.h"
#include "kit/TolvaneTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

KeySheet::KeySheet(QWidget* parent) : QDialog(parent), m_keys(new APIKeysView)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Bring your own key"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TolvaneTheme::background());
    setPalette(palette);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 20, 20, 20);
    auto* title = new QLabel(tr("Bring your own key"));
    title->setFont(TolvaneTheme::font(TolvaneTheme::TextStyle::headline));
    header->addWidget(title);
    header->addStretch(1);
    auto* done = new AquaButton(tr("Done"));
    done->setAutoDefault(false);
    connect(done, &QAbstractButton::clicked, this, &QDialog::accept);
    header->addWidget(done);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(m_keys, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_fullHeight = m_keys->height();
}

void KeySheet::fitToScreen()
{
    const int header = sizeHint().height() - m_keys->height();
    m_keys->setFixedHeight(std::min(m_fullHeight, ScreenFit::availableHeight(*this) - header));
    ScreenFit::keepWithin(*this);
}

void KeySheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    fitToScreen();
}

void KeySheet::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    fitToScreen();
}
