#include "Look.h"

#include "core/EngineError.h"
#include "store/AppState.h"
#include "ui/settings/SettingsBar.h"

#include <QDir>
#include <QThread>
#include <QVBoxLayout>

namespace {

const QSize columnSize(270, 900);

// The column over its own store (and settings file), which the returned widget owns.
struct Column {
    QWidget* holder;
    AppState* state;
};

Column makeColumn(const QString& name)
{
    auto* holder = new QWidget;
    const QString file = QDir::home().filePath(QStringLiteral("look-") + name + ".ini");
    auto* state = new AppState(std::make_unique<QSettings>(file, QSettings::IniFormat), holder);
    return {holder, state};
}

QWidget* finish(Column column)
{
    auto* layout = new QVBoxLayout(column.holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new SettingsBar(*column.state, column.holder));
    return column.holder;
}

void queue(AppState& state, int count, QSize pixelSize = {1000, 750})
{
    QList<Item> items;
    for (int i = 0; i < count; ++i) {
        Item item;
        item.id = QUuid::createUuid();
        item.path = QDir::home().filePath(QStringLiteral("image-%1.png").arg(i));
        item.pixelSize = pixelSize;
        items << item;
    }
    state.setItems(items);
}

QWidget* defaults()
{
    return finish(makeColumn(QStringLiteral("defaults")));
}

QWidget* convertJpeg()
{
    Column column = makeColumn(QStringLiteral("convert"));
    column.state->setScale(ScaleFactor::x1);
    column.state->setFormat(OutputFormat::jpeg);
    queue(*column.state, 3);
    return finish(column);
}

QWidget* vector()
{
    Column column = makeColumn(QStringLiteral("vector"));
    column.state->setScale(ScaleFactor::x1);
    column.state->setFormat(OutputFormat::svg);
    queue(*column.state, 1);
    return finish(column);
}

QWidget* running()
{
    Column column = makeColumn(QStringLiteral("running"));
    column.state->setFormat(OutputFormat::webp);
    column.state->setScale(ScaleFactor::x4);
    queue(*column.state, 5);
    // Holds the first item until the store stops the batch when the widget goes.
    column.state->setPipelineRun([](const QString&, const JobSettings&, const CancelToken& token,
                                    const Pipeline::Progress& progress) -> QString {
        progress(0.4);
        while (!token.isCancelled())
            QThread::msleep(5);
        throw UpscaleError::cancelled();
    });
    column.state->start();
    return finish(column);
}

QWidget* longFolder()
{
    Column column = makeColumn(QStringLiteral("folder"));
    column.state->setOutputFolder(
        QStringLiteral("/home/someone/Pictures/Enlarged results for the spring catalogue 2026"));
    column.state->setModel(SRModel::illustration);
    column.state->setScale(ScaleFactor::x16);
    return finish(column);
}

QWidget* selection()
{
    Column column = makeColumn(QStringLiteral("selection"));
    column.state->setScale(ScaleFactor::x4);
    column.state->setFormat(OutputFormat::png);
    queue(*column.state, 2);
    column.state->setSelection(column.state->items().first().id);
    return finish(column);
}

const Look::Registration states{{
    {QStringLiteral("settings-defaults"), defaults, columnSize},
    {QStringLiteral("settings-convert-jpeg"), convertJpeg, columnSize},
    {QStringLiteral("settings-vector"), vector, columnSize},
    {QStringLiteral("settings-running"), running, columnSize},
    {QStringLiteral("settings-long-folder"), longFolder, columnSize},
    {QStringLiteral("settings-selection"), selection, columnSize},
    {QStringLiteral("settings-short-window"), selection, QSize(270, 560)},
}};

} // namespace
