#include "FastestUnit.h"

#include "BuildIdentity.h"
#include "FramedFile.h"
#include "GpuFault.h"
#include "ModelPrivate.h"
#include "Network.h"
#include "VulkanKernels.h"
#include "VulkanNetwork.h"

#include <QCryptographicHash>
#include <QFile>
#include <QThread>
#include <cmath>
#include <oneapi/dnnl/dnnl.hpp>
#include <optional>

namespace sr {

namespace {

constexpr char tag[8] = {'T', 'L', 'V', 'V', 'E', 'R', 'D', '1'};
constexpr qint64 maxVerdictBytes = 4096;
// Of the network's multiply-adds timed on a device: the first layers, so that a device forty
// times slower than the CPU costs a fraction of a CPU tile.
constexpr double timedShare = 1.0 / 32;
// The wall time a device's measurement may take, its set-up included, unless the CPU's own run
// shows a slower or busier machine. A device that is not set up and timed by then is timed again
// on the next load, with the driver's caches warm and a larger budget; the CPU runs meanwhile.
// Cut short then too, it is judged by that budget, so that no load pays for it again.
constexpr double leastBudgetMs = 1000;
constexpr double budgetPerCpuRun = 1;
constexpr double retryBudgetFactor = 4;

// Milliseconds for one run of the network: the device's and the CPU's, measured together.
struct Verdict {
    double deviceMs = 0;
    double cpuMs = 0;
};

// What an earlier load kept for a device: its verdict, or that its measurement was cut short.
struct Kept {
    std::optional<Verdict> verdict;
    bool cutShort = false;
};

QByteArray hexDigest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// New kernels may change a device's speed: they are part of what a verdict was made for.
const QByteArray& kernelsDigest()
{
    static const QByteArray digest = [] {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (int k = 0; k < kernelCount; ++k) {
            const KernelCode& code = kernelCode(Kernel(k));
            hash.addData(
                QByteArrayView(reinterpret_cast<const char*>(code.words), qsizetype(code.bytes)));
        }
        return hash.result().toHex();
    }();
    return digest;
}

QByteArray processor()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    QByteArray name = "unknown processor";
    if (info.open(QIODevice::ReadOnly))
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("model name")) {
                name = line.mid(line.indexOf(':') + 1).trimmed();
                break;
            }
    const dnnl_version_t* version = dnnl_version();
    return name + ", " + QByteArray::number(QThread::idealThreadCount()) + " threads (" +
           qgetenv("OMP_NUM_THREADS") + "), isa " +
           QByteArray::number(int(dnnl::get_effective_cpu_isa())) + ", oneDNN " +
           QByteArray::number(version->major) + "." + QByteArray::number(version->minor) + "." +
           QByteArray::number(version->patch);
}

// A new build of the program (its CPU executor, its GPU host code) or of the driver may change
// the outcome; some drivers tell their version only in their own text.
QByteArray verdictKey(const QByteArray& modelDigest, const DeviceChoice& choice)
{
    static const QByteArray cpu = processor();
    const VkPhysicalDeviceProperties& device = choice.properties;
    return "model " + modelDigest + "\nkernels " + kernelsDigest() + "\nprogram " +
           buildIdentity() + "\nprocessor " + cpu + "\ndevice " +
           QByteArray::number(device.vendorID, 16) + ":" + QByteArray::number(device.deviceID, 16) +
           ":" +
           QByteArray(reinterpret_cast<const char*>(device.pipelineCacheUUID), VK_UUID_SIZE)
               .toHex() +
           "\ndriver " + QByteArray::number(device.driverVersion) + " " +
           QByteArray::fromStdString(choice.driver).simplified() + "\n";
}

QString verdictPath(const QString& modelName, const QByteArray& key)
{
    return compiledFolder() + u'/' + modelName + u'-' +
           QString::fromLatin1(hexDigest(key).left(16)) + QStringLiteral(".choice");
}

constexpr char cutShortRecord[] = "cut short\n";

Kept readVerdict(const QString& path, const QByteArray& key)
{
    const QByteArray data = readFramed(path, tag, maxVerdictBytes);
    if (!data.startsWith(key))
        return {};
    if (data.mid(key.size()) == cutShortRecord)
        return {{}, true};
    const QList<QByteArray> times = data.mid(key.size()).trimmed().split(' ');
    bool deviceOk = false, cpuOk = false;
    Verdict verdict;
    if (times.size() == 2) {
        verdict.deviceMs = times[0].toDouble(&deviceOk);
        verdict.cpuMs = times[1].toDouble(&cpuOk);
    }
    if (!deviceOk || !cpuOk || !(verdict.deviceMs > 0) || !(verdict.cpuMs > 0) ||
        !std::isfinite(verdict.deviceMs) || !std::isfinite(verdict.cpuMs))
        return {};
    return {verdict, false};
}

void writeRecord(const QString& path, const QByteArray& data)
{
    QString error;
    if (!writeFramed(path, tag, data, &error))
        qCWarning(lcModel) << "cannot keep the choice of a device" << error;
}

void writeVerdict(const QString& path, const QByteArray& key, const Verdict& verdict)
{
    writeRecord(path, key + QByteArray::number(verdict.deviceMs, 'g', 6) + ' ' +
                          QByteArray::number(verdict.cpuMs, 'g', 6) + '\n');
}

double msOfRun(Executor& network)
{
    QElapsedTimer timer;
    timer.start();
    network.run();
    return double(timer.nsecsElapsed()) / 1e6;
}

std::string milliseconds(double ms)
{
    return QByteArray::number(ms, 'f', ms < 10 ? 1 : 0).toStdString() + " ms";
}

struct Deadline {
    QElapsedTimer clock;
    double budgetMs = 0;
    double leftMs() const { return budgetMs - double(clock.nsecsElapsed()) / 1e6; }
};

// One device's part in the choice.
struct Contender {
    DeviceChoice device;
    QString path;
    QByteArray key;
    std::optional<Verdict> verdict; // kept from an earlier run, or measured now
    bool measured = false;
    std::string how; // of the work timed, and how often
    double budgetMs = 0;
    bool failed = false;                    // while timed or built
    bool overBudget = false;                // not set up and timed in time: no verdict
    bool cutShortBefore = false;            // on an earlier load
    std::unique_ptr<VulkanNetwork> network; // built while timing it

    std::string outcome() const;
};

std::string Contender::outcome() const
{
    if (failed)
        return "failed";
    if (overBudget)
        return "not set up and timed within " + milliseconds(budgetMs) +
               ", timed again on the next load";
    return milliseconds(verdict->deviceMs) + " a tile against " + milliseconds(verdict->cpuMs) +
           " for oneDNN on the CPU, " + (measured ? "measured " + how : "remembered");
}

class Chooser {
public:
    Chooser(const Graph& graph, const QByteArray& modelDigest, const QString& modelName,
            bool cpuDevices)
        : m_graph(graph), m_digest(modelDigest), m_name(modelName), m_cpuDevices(cpuDevices)
    {
    }
    UnitChoice choose();

private:
    void findDevices();
    // The CPU's time: first from a run that also pays for touching the network's memory the
    // first time, then, when that may decide, from a second one.
    void timeCpu();
    void measure(Contender& contender);
    std::optional<double> steadyMs(VulkanNetwork& network, const Deadline& deadline,
                                   std::string& how);
    UnitChoice pick();
    UnitChoice onCpu(std::string report);

    const Graph& m_graph;
    QByteArray m_digest;
    QString m_name;
    bool m_cpuDevices;
    std::optional<VulkanProgram> m_program;
    std::vector<Contender> m_contenders;
    std::unique_ptr<Network> m_cpu;
    double m_cpuMs = 0;
    bool m_cpuWarm = false;
};

void Chooser::findDevices()
{
    try {
        m_program = translate(m_graph);
        for (const DeviceChoice& device :
             candidateDevices(VulkanNetwork::memoryNeeded(*m_program), m_cpuDevices)) {
            Contender c;
            c.device = device;
            c.key = verdictKey(m_digest, device);
            c.path = verdictPath(m_name, c.key);
            const Kept kept = readVerdict(c.path, c.key);
            c.verdict = kept.verdict;
            c.cutShortBefore = kept.cutShort;
            m_contenders.push_back(std::move(c));
        }
    } catch (const DeviceError& error) {
        qCInfo(lcModel).noquote() << m_name << "has no GPU:" << error.what();
    } catch (const GraphError& error) {
        qCInfo(lcModel).noquote() << m_name << "cannot run on a GPU:" << error.what();
    } catch (const std::exception& error) {
        qCWarning(lcModel).noquote() << m_name << "cannot be made for a GPU:" << error.what();
    }
}

void Chooser::timeCpu()
{
    if (!m_cpu) {
        m_cpu = std::make_unique<Network>(m_graph);
        m_cpuMs = msOfRun(*m_cpu) + injectedTimingHooks().cpuFirstRunMs;
    } else if (!m_cpuWarm) {
        m_cpuMs = std::min(m_cpuMs, msOfRun(*m_cpu));
        m_cpuWarm = true;
    }
}

// The device's steady time for a whole run. A warm-up of the timed part pays for the driver's
// one-time set-up and is not counted; the part, cut to what the time left allows, is timed, and
// once more unless that shows the device far behind the CPU. Nothing when time runs out first.
std::optional<double> Chooser::steadyMs(VulkanNetwork& network, const Deadline& deadline,
                                        std::string& how)
{
    const VulkanNetwork::PartTime warmUp = network.timePart(timedShare, deadline.leftMs());
    if (!warmUp.finished)
        return {};
    // The warm-up's time bounds the steady one from above: a part this size fits in what is left.
    const double fits = deadline.leftMs() / warmUp.ms;
    if (!(fits > 0))
        return {};
    const double share = timedShare * std::min(fits, 1.0);
    std::optional<double> best;
    int runs = 0;
    double timed = 0;
    while (runs < 2) {
        const VulkanNetwork::PartTime part = network.timePart(share, deadline.leftMs());
        if (!part.finished)
            break;
        ++runs;
        timed = part.share;
        best = std::min(best.value_or(INFINITY), part.ms / part.share);
        if (*best >= 8 * m_cpuMs || part.ms > deadline.leftMs())
            break;
    }
    how = "on " + QByteArray::number(timed * 100, 'f', timed < 0.1 ? 1 : 0).toStdString() +
          " % of the work, " + std::to_string(runs) + (runs == 1 ? " timed run" : " timed runs");
    return best;
}

// Whatever fails while the device is built or timed, running out of memory included, the device
// loses; the CPU's own failures are the load's.
void Chooser::measure(Contender& c)
{
    timeCpu();
    const int budgetHook = injectedTimingHooks().budgetMs;
    Deadline deadline;
    deadline.clock.start();
    deadline.budgetMs =
        (budgetHook > 0 ? budgetHook : std::max(leastBudgetMs, budgetPerCpuRun * m_cpuMs)) *
        (c.cutShortBefore ? retryBudgetFactor : 1);
    c.budgetMs = deadline.budgetMs;
    std::optional<double> deviceMs;
    try {
        c.network = std::make_unique<VulkanNetwork>(*m_program, c.device);
        deviceMs = steadyMs(*c.network, deadline, c.how);
    } catch (const std::exception& error) {
        qCWarning(lcModel).noquote()
            << describe(c.device.properties).c_str() << "failed while timed:" << error.what();
        c.network.reset();
        c.failed = true;
        return;
    }
    if (!deviceMs) {
        VulkanNetwork::setAside(std::move(c.network));
        if (!c.cutShortBefore) {
            c.overBudget = true;
            writeRecord(c.path, c.key + cutShortRecord);
            return;
        }
        // Not even a share of the work in all that time: no faster than that, as far as it shows.
        deviceMs = deadline.budgetMs / timedShare;
        c.how = "by the budget it overran on two loads";
    }
    // Close to the CPU's first run, which also pays for touching its memory: time it warm too.
    if (*deviceMs < 2 * m_cpuMs)
        timeCpu();
    c.verdict = Verdict{*deviceMs, m_cpuMs};
    c.measured = true;
    writeVerdict(c.path, c.key, *c.verdict);
    if (c.verdict->deviceMs >= m_cpuMs)
        c.network.reset();
}

UnitChoice Chooser::onCpu(std::string report)
{
    if (!m_cpu)
        m_cpu = std::make_unique<Network>(m_graph);
    return {std::move(m_cpu), false, std::move(report)};
}

// The fastest device that beats the CPU it was timed against; it is built here when only its
// verdict was kept, and the next one is tried when that fails.
UnitChoice Chooser::pick()
{
    std::vector<Contender*> winners;
    for (Contender& c : m_contenders)
        if (c.verdict && c.verdict->deviceMs < c.verdict->cpuMs)
            winners.push_back(&c);
    std::sort(winners.begin(), winners.end(), [](const Contender* a, const Contender* b) {
        return a->verdict->deviceMs < b->verdict->deviceMs;
    });
    for (Contender* c : winners) {
        try {
            if (!c->network)
                c->network = std::make_unique<VulkanNetwork>(*m_program, c->device);
        } catch (const std::exception& error) {
            qCWarning(lcModel).noquote() << describe(c->device.properties).c_str() << error.what();
            c->failed = true;
            continue;
        }
        return {std::move(c->network), true, describe(c->device.properties) + ": " + c->outcome()};
    }
    std::string report = "oneDNN on the CPU";
    for (const Contender& c : m_contenders)
        report += (&c == &m_contenders.front() ? ": " : "; ") + describe(c.device.properties) +
                  " " + c.outcome();
    return onCpu(report);
}

UnitChoice Chooser::choose()
{
    VulkanNetwork::setAside(nullptr); // frees what earlier measurements left running
    findDevices();
    if (m_contenders.empty())
        return onCpu("oneDNN on the CPU: no GPU can hold the network");
    for (Contender& c : m_contenders)
        if (!c.verdict)
            measure(c);
    return pick();
}

} // namespace

UnitChoice fastestUnit(const Graph& graph, const QByteArray& modelDigest, const QString& modelName,
                       bool cpuDevices)
{
    UnitChoice choice = Chooser(graph, modelDigest, modelName, cpuDevices).choose();
    qCInfo(lcModel).noquote() << modelName << "runs on" << choice.report.c_str();
    return choice;
}

} // namespace sr
