#include "AboutWindow.h"

#include "core/Resources.h"
#include "kit/TextLabel.h"
#include "kit/TolvaneTheme.h"
#include "updates/PreferencesView.h"
#include "updates/UpdateLabels.h"

#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

using TolvaneTheme::TextStyle;

AboutWindow::AboutWindow(QWidget* parent)
    : AboutWindow(Resources::info(), Resources::path(QStringLiteral("THIRD-PARTY-NOTICES.txt")),
                  parent)
{
}

AboutWindow::AboutWindow(const QJsonObject& info, const QString& noticesPath, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Tolvane"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    column->addWidget(makeHeader(info));
    const QString text = readNotices(noticesPath);
    if (!text.isEmpty()) {
        column->addWidget(
            TextLabel::make(QStringLiteral("Third-party notices"), TextStyle::headline));
        m_notices = new QPlainTextEdit(text);
        m_notices->setReadOnly(true);
        m_notices->setLineWrapMode(QPlainTextEdit::NoWrap);
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPixelSize(11);
        m_notices->setFont(fixed);
        column->addWidget(m_notices, 1);
    }
    resize(m_notices ? QSize(660, 540) : sizeHint());
}

QWidget* AboutWindow::makeHeader(const QJsonObject& info)
{
    return UpdateLabels::productHeader(TextLabel::make(PreferencesView::versionText(info),
                                                       TextStyle::callout, TolvaneTheme::muted()));
}

QString AboutWindow::notices() const
{
    return m_notices ? m_notices->toPlainText() : QString();
}

QString AboutWindow::readNotices(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(maxBytes));
}
