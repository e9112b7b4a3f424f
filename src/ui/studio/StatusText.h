#pragma once

#include <QLabel>

// The studio's status sentence: plain text in the caption style, selectable, and never more
// than three lines however long the sentence (a service may send megabytes). A shortened
// sentence ends in "…" and the tooltip holds it whole, up to a tooltip's worth of text.
class StatusText : public QLabel {
    Q_OBJECT
public:
    static constexpr int maxLines = 3;
    // Longer sentences are cut here in the tooltip too.
    static constexpr int maxToolTipCharacters = 2000;

    explicit StatusText(QWidget* parent = nullptr);

    // The whole sentence; text() is what is shown of it.
    QString message() const { return m_message; }
    void setMessage(const QString& message);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void relayout();

    QString m_message;
    int m_laidOutWidth = -1;
};
