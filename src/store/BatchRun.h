#pragma once

#include "AppState.h"
#include "SleepInhibitor.h"

#include <QFuture>
#include <QPair>
#include <QPointer>

// One run of the queue: the items that were not done when it started, one at a time on a worker,
// with every status change applied on the GUI thread.
class BatchRun : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        enum class Kind { done, cancelled, failed } kind;
        QString output;
        std::optional<QSize> outputSize;
        QString message;
    };

    BatchRun(AppState& state, JobSettings settings, CancelTokenPtr token,
             QList<QPair<QUuid, QString>> jobs);

    void next();
    // Waits up to `msecs` for the item in work to end; true when nothing is running.
    bool waitForWorker(int msecs) const;

    // Runs one item, turning every exception into an outcome.
    static Outcome runJob(const AppState::PipelineRun& run, const QString& path,
                          const JobSettings& settings, const CancelToken& token,
                          const Pipeline::Progress& progress);

private:
    void apply(const QUuid& id, const Outcome& outcome);
    static void reportProgress(const QPointer<AppState>& target, const QUuid& id, double fraction);

    AppState& m_state;
    JobSettings m_settings;
    CancelTokenPtr m_token;
    QList<QPair<QUuid, QString>> m_jobs;
    int m_next = 0;
    QFuture<Outcome> m_worker;
    SleepInhibitor m_inhibitor;
};
