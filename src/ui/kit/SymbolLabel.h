#pragma once

#include <QColor>
#include <QWidget>

class QLabel;

// A bundled symbol followed by a line of text, both in one colour. The symbol is sized from the
// widget's font, so a caption label gets a caption-sized symbol.
class SymbolLabel : public QWidget {
    Q_OBJECT

public:
    SymbolLabel(const QString& symbol, const QString& text, const QColor& colour,
                QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    QString text() const;
    QColor colour() const { return m_colour; }
    void setSymbol(const QString& symbol);
    void setText(const QString& text);
    void setColour(const QColor& colour);
    void setSpacing(int spacing);
    // Long text wraps onto as many lines as it needs, the symbol beside its first line.
    void setWordWrap(bool wraps);
    // Pixel size of the symbol for the current font.
    int symbolSize() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void updateSymbol();

    QString m_symbol;
    QColor m_colour;
    QLabel* m_icon;
    QLabel* m_text;
};
