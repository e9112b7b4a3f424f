#include "BatchRun.h"

#include "core/Async.h"
#include "core/EngineError.h"
#include "core/WorkPools.h"
#include "imageio/ImageLoader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QPointer>
#include <QThread>
#include <QtConcurrent>

Q_LOGGING_CATEGORY(lcBatch, "tolvane.batch")

BatchRun::BatchRun(AppState& state, JobSettings settings, CancelTokenPtr token,
                   QList<QPair<QUuid, QString>> jobs)
    : m_state(state), m_settings(std::move(settings)), m_token(std::move(token)),
      m_jobs(std::move(jobs)), m_inhibitor(QStringLiteral("Enhancing images"))
{
}

BatchRun::Outcome BatchRun::runJob(const AppState::PipelineRun& run, const QString& path,
                                   const JobSettings& settings, const CancelToken& token,
                                   const Pipeline::Progress& progress)
{
    using Kind = Outcome::Kind;
    try {
        const QString output = run(path, settings, token, progress);
        return {Kind::done, output, ImageLoader::pixelSize(output), {}};
    } catch (const EngineError& error) {
        if (isCancellation(error))
            return {Kind::cancelled, {}, {}, {}};
        return {Kind::failed, {}, {}, error.message()};
    } catch (const std::bad_alloc&) {
        return {Kind::failed, {}, {}, ImageError::outOfMemory().message()};
    } catch (const std::exception& error) {
        qCWarning(lcBatch) << "unexpected error:" << error.what();
    } catch (...) {
        qCWarning(lcBatch) << "unexpected error";
    }
    return {Kind::failed,
            {},
            {},
            QStringLiteral("Couldn't process this image because of an internal error.")};
}

void BatchRun::next()
{
    if (m_next >= m_jobs.size() || m_token->isCancelled()) {
        m_state.finishBatch();
        return;
    }
    const auto [id, path] = m_jobs[m_next++];
    const int row = m_state.row(id);
    if (row >= 0)
        m_state.updateItem(row, [](Item& item) { item.status = Item::Status::working(0.0); });

    const Pipeline::Progress progress = [state = QPointer<AppState>(&m_state),
                                         id = id](double fraction) {
        reportProgress(state, id, fraction);
    };
    m_worker =
        QtConcurrent::run(&WorkPools::batch(), [run = m_state.m_pipelineRun, path = path,
                                                settings = m_settings, token = m_token, progress] {
            return runJob(run, path, settings, *token, progress);
        });
    whenFinished(m_worker, this, [this, id = id](const Outcome& outcome) {
        apply(id, outcome);
        next();
    });
}

// Called on the worker: hop to the GUI thread, and only touch an item that is still in work.
// The store may go away meanwhile (a quit whose wait ran out), so the event goes to the
// application object and the store is looked at only on the GUI thread.
void BatchRun::reportProgress(const QPointer<AppState>& target, const QUuid& id, double fraction)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(
        application,
        [state = target, id, fraction] {
            if (!state)
                return;
            const int row = state->row(id);
            if (row >= 0 && state->items()[row].status.is(Item::Status::Kind::working))
                state->updateItem(
                    row, [fraction](Item& item) { item.status = Item::Status::working(fraction); });
        },
        Qt::QueuedConnection);
}

void BatchRun::apply(const QUuid& id, const Outcome& outcome)
{
    const int row = m_state.row(id);
    if (row < 0)
        return;
    m_state.updateItem(row, [&outcome](Item& item) {
        switch (outcome.kind) {
        case Outcome::Kind::done:
            item.status = Item::Status::done();
            item.outputPath = outcome.output;
            item.outputPixelSize = outcome.outputSize;
            break;
        case Outcome::Kind::cancelled:
            item.status = Item::Status::pending();
            break;
        case Outcome::Kind::failed:
            item.status = Item::Status::failed(outcome.message);
            break;
        }
    });
}

bool BatchRun::waitForWorker(int msecs) const
{
    const QDeadlineTimer deadline(msecs);
    while (!m_worker.isFinished() && !deadline.hasExpired())
        QThread::msleep(5);
    return m_worker.isFinished();
}
