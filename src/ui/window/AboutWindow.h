#pragma once

#include <QDialog>
#include <QJsonObject>

class QPlainTextEdit;

// "About Tolvane": the icon, the name, the version and the third-party notices, which scroll
// in a read-only box. A missing notices file leaves the box out.
class AboutWindow : public QDialog {
    Q_OBJECT

public:
    // The build's own information and notices file.
    explicit AboutWindow(QWidget* parent = nullptr);
    AboutWindow(const QJsonObject& info, const QString& noticesPath, QWidget* parent = nullptr);

    // The notices as shown; empty when the file is missing or unreadable.
    QString notices() const;
    // The notices file's text, at most `maxBytes` of it; empty when it cannot be read.
    static QString readNotices(const QString& path);
    static constexpr qint64 maxBytes = 1 << 20;

private:
    QWidget* makeHeader(const QJsonObject& info);

    QPlainTextEdit* m_notices = nullptr;
};
