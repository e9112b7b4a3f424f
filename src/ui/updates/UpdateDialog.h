#pragma once

#include <QDialog>
#include <functional>

class AquaButton;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QVBoxLayout;

// The frame of every updater dialog: the application's icon beside a heading, a text, optional
// content and a row of buttons. Texts are plain, never rich text, and wrap.
class UpdateDialog : public QDialog {
    Q_OBJECT

public:
    UpdateDialog(const QString& heading, const QString& text, QWidget* parent = nullptr);

    void setHeading(const QString& heading);
    void setText(const QString& text);
    // Content between the text and the buttons.
    void addContent(QWidget* content);
    // A button on the right, in order of the calls; `leading` puts it on the left instead.
    // A click closes the dialog with `result`.
    AquaButton* addButton(const QString& text, int result, bool prominent = false,
                          bool leading = false);

private:
    QLabel* m_heading;
    QLabel* m_text;
    QVBoxLayout* m_column;
    QHBoxLayout* m_buttons;
    int m_leading = 0;
};

// Checking, downloading or installing, updated in place; Cancel while cancelling is possible.
class UpdateProgressDialog : public UpdateDialog {
    Q_OBJECT

public:
    explicit UpdateProgressDialog(QWidget* parent = nullptr);

    // `total` 0: a busy bar without numbers.
    void showStep(const QString& heading, qint64 received, qint64 total);
    // Empty: no Cancel button (a step that must finish).
    void setCancel(std::function<void()> cancel);

    // "3.2 MB of 41.0 MB"
    static QString sizeText(qint64 received, qint64 total);

public Q_SLOTS:
    // Escape and the close box cancel only a step that can be cancelled.
    void reject() override;

private:
    QProgressBar* m_bar;
    QLabel* m_detail;
    AquaButton* m_cancelButton;
    std::function<void()> m_cancel;
};
