#pragma once

#include <QString>
#include <QWidget>

class AppState;
class ElidedLabel;
class QLabel;
class QProgressBar;
class Spinner;

// The one-line strip under the window's columns: an import in progress, the progress of a running
// batch, or the outcome of the last run.
class StatusLine : public QWidget {
    Q_OBJECT

public:
    struct Content {
        enum class Form { importing, running, idle };
        Form form = Form::idle;
        QString text;
        QString symbol;      // idle form only
        double progress = 0; // running form only, 0…1
    };
    // What the strip shows for the store as it stands; an import wins over a running batch.
    static Content compute(const AppState& state);

    explicit StatusLine(AppState& state, QWidget* parent = nullptr);

    // What is shown now, for tests.
    QString text() const;
    QString symbol() const { return m_shownSymbol; }
    Spinner* spinner() const { return m_spinner; }
    QProgressBar* progressBar() const { return m_bar; }

private:
    void refresh();

    AppState& m_state;
    Spinner* m_spinner;
    QProgressBar* m_bar;
    QLabel* m_symbol;
    ElidedLabel* m_text;
    QString m_shownSymbol;
};
