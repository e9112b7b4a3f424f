#include "UpdateDialog.h"

#include "UpdateLabels.h"
#include "kit/AquaButton.h"
#include "kit/TextLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

using TolvaneTheme::TextStyle;

UpdateDialog::UpdateDialog(const QString& heading, const QString& text, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Software Update"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(24, 24, 24, 22);
    row->setSpacing(18);
    row->addWidget(UpdateLabels::applicationIcon(64), 0, Qt::AlignTop);
    m_column = new QVBoxLayout;
    m_column->setSpacing(10);
    m_heading = TextLabel::make(heading, TextStyle::headline);
    m_text = TextLabel::make(text, TextStyle::body, TolvaneTheme::muted());
    m_text->setVisible(!text.isEmpty());
    m_column->addWidget(m_heading);
    m_column->addWidget(m_text);
    m_buttons = new QHBoxLayout;
    m_buttons->setSpacing(10);
    m_buttons->addStretch(1);
    m_column->addSpacing(10);
    m_column->addLayout(m_buttons);
    row->addLayout(m_column, 1);
}

void UpdateDialog::setHeading(const QString& heading)
{
    m_heading->setText(heading);
}

void UpdateDialog::setText(const QString& text)
{
    m_text->setText(text);
    m_text->setVisible(!text.isEmpty());
}

void UpdateDialog::addContent(QWidget* content)
{
    // Before the spacing and the buttons.
    m_column->insertWidget(m_column->count() - 2, content);
}

AquaButton* UpdateDialog::addButton(const QString& text, int result, bool prominent, bool leading)
{
    auto* button = new AquaButton(text, prominent);
    button->setAutoDefault(false);
    if (prominent)
        button->setDefault(true);
    if (leading)
        m_buttons->insertWidget(m_leading++, button);
    else
        m_buttons->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    return button;
}

UpdateProgressDialog::UpdateProgressDialog(QWidget* parent) : UpdateDialog({}, {}, parent)
{
    m_bar = new QProgressBar;
    m_bar->setTextVisible(false);
    m_bar->setFixedHeight(8);
    m_bar->setMinimumWidth(300);
    m_detail = TextLabel::make({}, TextStyle::caption, TolvaneTheme::muted());
    addContent(m_bar);
    addContent(m_detail);
    m_cancelButton = addButton(QStringLiteral("Cancel"), QDialog::Rejected);
    setCancel({});
    connect(this, &QDialog::rejected, this, [this] {
        if (m_cancel)
            std::exchange(m_cancel, {})();
    });
}

void UpdateProgressDialog::showStep(const QString& heading, qint64 received, qint64 total)
{
    setHeading(heading);
    m_bar->setRange(0, total > 0 ? 1000 : 0);
    m_bar->setValue(total > 0 ? int(std::clamp<qint64>(received * 1000 / total, 0, 1000)) : 0);
    m_detail->setText(total > 0 ? sizeText(received, total) : QString());
    m_detail->setVisible(total > 0);
}

void UpdateProgressDialog::setCancel(std::function<void()> cancel)
{
    m_cancel = std::move(cancel);
    m_cancelButton->setVisible(bool(m_cancel));
}

void UpdateProgressDialog::reject()
{
    if (m_cancel)
        QDialog::reject();
}

QString UpdateProgressDialog::sizeText(qint64 received, qint64 total)
{
    const auto megabytes = [](qint64 bytes) {
        return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
    };
    return megabytes(received) + QStringLiteral(" of ") + megabytes(total);
}
