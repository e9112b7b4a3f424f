#include "AppState.h"

#include "BatchRun.h"

void AppState::start()
{
    if (m_isRunning || m_isCloudRunning || m_isImporting || m_items.isEmpty())
        return;
    if (completedCount() == m_items.size())
        resetAll();
    JobSettings settings{m_scale, m_model, m_format, m_quality, m_webpLossless, m_outputFolder};
    m_token = std::make_shared<CancelToken>();
    setRunning(true);
    setLastRunSummary(std::nullopt);
    QList<QPair<QUuid, QString>> jobs;
    for (const Item& item : m_items)
        if (!item.status.is(Item::Status::Kind::done))
            jobs.append({item.id, item.path});
    m_batch = std::make_unique<BatchRun>(*this, std::move(settings), m_token, std::move(jobs));
    m_batch->next();
}

void AppState::finishBatch()
{
    setRunning(false);
    // The batch object is still on the stack that called us; let it go once control returns.
    m_batch.release()->deleteLater();
    QString summary;
    if (m_token->isCancelled()) {
        summary =
            QStringLiteral("Stopped. Finished images have been saved; the rest can be resumed.");
    } else {
        summary = QString::number(completedCount()) + QStringLiteral(" saved");
        const int failed = failedCount();
        summary += failed > 0 ? QStringLiteral(" · %1 need attention").arg(failed)
                              : QStringLiteral(" · Originals preserved");
    }
    setLastRunSummary(summary);
    m_token.reset();
    Q_EMIT batchFinished();
}

bool AppState::stopAndWait(int msecs)
{
    if (!m_batch)
        return true;
    m_token->cancel();
    return m_batch->waitForWorker(msecs);
}
