#include "Look.h"

#include "ui/kit/TolvaneTheme.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <cstdio>

namespace Look {

namespace {

std::vector<State>& registry()
{
    static std::vector<State> all;
    return all;
}

bool save(const State& state, const QString& folder)
{
    QWidget* widget = state.make();
    if (!widget)
        return false;
    widget->setAttribute(Qt::WA_DontShowOnScreen, false);
    if (!state.size.isEmpty())
        widget->resize(state.size);
    else if (!widget->testAttribute(Qt::WA_Resized))
        widget->resize(widget->sizeHint());
    widget->show();
    QTest::qWait(50);
    if (state.settle)
        state.settle(widget);
    QTest::qWait(50);
    QWidget* shown = state.target ? state.target(widget) : widget;
    const bool saved =
        shown && shown->grab().save(folder + u'/' + state.name + QStringLiteral(".png"));
    delete widget;
    return saved;
}

} // namespace

const std::vector<State>& states()
{
    return registry();
}

Registration::Registration(std::vector<State> states)
{
    for (State& state : states)
        registry().push_back(std::move(state));
}

QWidget* onBackdrop(QWidget* content, int margin)
{
    auto* backdrop = new QWidget;
    backdrop->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(backdrop);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(content);
    return backdrop;
}

} // namespace Look

// Usage: look [name-filter]. Saves every state whose name contains the filter.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and files of the states stay in a throwaway home.
    QTemporaryDir sandbox;
    qputenv("HOME", sandbox.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (sandbox.path() + "/data").toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    TolvaneTheme::apply(app);

    const QString filter = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString folder = QStringLiteral(TOLVANE_BUILD_DIR "/look");
    QDir().mkpath(folder);
    int failures = 0;
    for (const Look::State& state : Look::states()) {
        if (!filter.isEmpty() && !state.name.contains(filter))
            continue;
        const bool saved = Look::save(state, folder);
        failures += saved ? 0 : 1;
        std::printf("%s %s/%s.png\n", saved ? "saved" : "FAILED", qPrintable(folder),
                    qPrintable(state.name));
    }
    return failures == 0 ? 0 : 1;
}
