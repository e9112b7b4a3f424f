#pragma once

#include "core/CancelToken.h"
#include "core/Item.h"
#include "core/JobSettings.h"
#include "pipeline/Pipeline.h"

#include <QList>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class BatchRun;

// The application's one store: the queue and its selection, what the engine is doing, the last
// messages for the user, and the six job settings, which persist. Lives on the GUI thread;
// background work reports back into it through queued calls.
class AppState : public QObject {
    Q_OBJECT

public:
    // Runs one item; the batch calls it on a worker thread.
    using PipelineRun = Pipeline::Runner;
    // Modal panels, injectable so that the store needs no widgets and tests never block.
    using OpenPanel = std::function<QStringList()>;              // chosen paths, empty: cancelled
    using FolderPanel = std::function<std::optional<QString>()>; // nullopt: cancelled

    // Reads the settings from `settings` (the application's own when null).
    explicit AppState(std::unique_ptr<QSettings> settings = nullptr, QObject* parent = nullptr);
    ~AppState() override;

    const QList<Item>& items() const { return m_items; }
    std::optional<QUuid> selection() const { return m_selection; }
    bool isRunning() const { return m_isRunning; }
    bool isCloudRunning() const { return m_isCloudRunning; }
    bool isImporting() const { return m_isImporting; }
    std::optional<QString> notice() const { return m_notice; }
    std::optional<QString> lastRunSummary() const { return m_lastRunSummary; }
    ScaleFactor scale() const { return m_scale; }
    SRModel model() const { return m_model; }
    OutputFormat format() const { return m_format; }
    double quality() const { return m_quality; }
    bool webpLossless() const { return m_webpLossless; }
    QString outputFolder() const { return m_outputFolder; } // empty: beside each original
    CancelTokenPtr token() const { return m_token; }

    // Replaces the whole queue (views that bind the list; tests).
    void setItems(QList<Item> items);
    void setSelection(std::optional<QUuid> selection);
    void setCloudRunning(bool running);
    void setNotice(std::optional<QString> notice);
    void setScale(ScaleFactor scale);
    void setModel(SRModel model);
    void setFormat(OutputFormat format);
    void setQuality(double quality);
    void setWebpLossless(bool lossless);
    void setOutputFolder(const QString& folder);

    // Derived from the queue.
    std::optional<Item> selectedItem() const;
    int pendingCount() const;
    int completedCount() const;
    int failedCount() const;
    double progress() const;
    int row(const QUuid& id) const; // -1 when absent

    // Queue edits; each refuses silently while a batch runs (clearAll also while importing).
    void remove(const QUuid& id);
    void clearAll();
    void resetAll();

    // What an import does to the last run's summary: files that only waited for a batch to end
    // join without hiding how it went.
    enum class Summary { cleared, kept };
    // Import: adds the supported, readable images of the files and folders given, on a worker.
    void add(const QStringList& paths, Summary summary = Summary::cleared);
    void openPanel();
    void chooseOutputFolder();

    // Runs every item that is not done, one at a time.
    void start();
    // For quitting: stops the running batch and waits up to `msecs` for its current item to end.
    // True when no work is left running.
    bool stopAndWait(int msecs);

    void setOpenPanel(OpenPanel panel) { m_openPanel = std::move(panel); }
    void setFolderPanel(FolderPanel panel) { m_folderPanel = std::move(panel); }
    void setPipelineRun(PipelineRun run) { m_pipelineRun = std::move(run); }

    // Finds new items among the paths: the import's worker half.
    static QList<Item> discover(const QStringList& paths);

Q_SIGNALS:
    void itemAppended(int row);
    void itemRemoved(int row);
    void itemChanged(int row);
    void itemsCleared(); // the whole list was replaced
    void itemsChanged(); // after any of the four above
    void selectionChanged();
    void isRunningChanged();
    void isCloudRunningChanged();
    void isImportingChanged();
    void noticeChanged();
    void lastRunSummaryChanged();
    void scaleChanged();
    void modelChanged();
    void formatChanged();
    void qualityChanged();
    void webpLosslessChanged();
    void outputFolderChanged();
    void importFinished();
    void batchFinished();

private:
    friend class BatchRun;

    void readSettings();
    void updateItem(int row, const std::function<void(Item&)>& change);
    void appendItem(Item item);
    void setRunning(bool running);
    void setImporting(bool importing);
    void setLastRunSummary(std::optional<QString> summary);
    void finishImport(const QList<Item>& discovered, Summary summary);
    void finishBatch();

    QList<Item> m_items;
    std::optional<QUuid> m_selection;
    bool m_isRunning = false;
    bool m_isCloudRunning = false;
    bool m_isImporting = false;
    std::optional<QString> m_notice;
    std::optional<QString> m_lastRunSummary;
    ScaleFactor m_scale = ScaleFactor::x2;
    SRModel m_model = SRModel::photo;
    OutputFormat m_format = OutputFormat::same;
    double m_quality = 0.92;
    bool m_webpLossless = false;
    QString m_outputFolder;
    CancelTokenPtr m_token;

    std::unique_ptr<QSettings> m_settings;
    OpenPanel m_openPanel;
    FolderPanel m_folderPanel;
    PipelineRun m_pipelineRun;
    std::unique_ptr<BatchRun> m_batch;
};
