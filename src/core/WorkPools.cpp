#include "WorkPools.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>

namespace WorkPools {
namespace {

struct Pools {
    Pools()
    {
        name(imports, "imports", QThread::idealThreadCount());
        name(batch, "batch", 1);
        name(views, "views", QThread::idealThreadCount());
        name(parts, "parts", QThread::idealThreadCount());
        qAddPostRoutine(&WorkPools::finish);
    }
    static void name(QThreadPool& pool, const char* name, int threads)
    {
        pool.setObjectName(QString::fromLatin1(name));
        pool.setMaxThreadCount(threads);
    }

    // Declared first, destroyed last: the jobs of the others may still hand it parts.
    QThreadPool parts;
    QThreadPool imports;
    QThreadPool batch;
    QThreadPool views;
};

std::atomic<bool> ending{false};

Pools& pools()
{
    static Pools made;
    return made;
}

} // namespace

QThreadPool& imports()
{
    return pools().imports;
}

QThreadPool& batch()
{
    return pools().batch;
}

QThreadPool& views()
{
    return pools().views;
}

QThreadPool& parts()
{
    return pools().parts;
}

void finish()
{
    ending = true;
    for (QThreadPool* pool : {&imports(), &batch(), &views(), &parts()})
        pool->waitForDone();
}

bool closing()
{
    return ending;
}

} // namespace WorkPools
