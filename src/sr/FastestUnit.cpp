#include "FastestUnit.h"

#include "FramedFile.h"
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

// Milliseconds for one run of the network: the device's and the CPU's, measured together.
struct Verdict {
    double deviceMs = 0;
    double cpuMs = 0;
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

QByteArray verdictKey(const QByteArray& modelDigest, const VkPhysicalDeviceProperties& device)
{
    static const QByteArray cpu = processor();
    return "model " + modelDigest + "\nkernels " + kernelsDigest() + "\nprocessor " + cpu +
           "\ndevice " + QByteArray::number(device.vendorID, 16) + ":" +
           QByteArray::number(device.deviceID, 16) + ":" +
           QByteArray(reinterpret_cast<const char*>(device.pipelineCacheUUID), VK_UUID_SIZE)
               .toHex() +
           "\ndriver " + QByteArray::number(device.driverVersion) + "\n";
}

QString verdictPath(const QString& modelName, const QByteArray& key)
{
    return compiledFolder() + u'/' + modelName + u'-' +
           QString::fromLatin1(hexDigest(key).left(16)) + QStringLiteral(".choice");
}

std::optional<Verdict> readVerdict(const QString& path, const QByteArray& key)
{
    const QByteArray data = readFramed(path, tag, maxVerdictBytes);
    if (!data.startsWith(key))
        return {};
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
    return verdict;
}

void writeVerdict(const QString& path, const QByteArray& key, const Verdict& verdict)
{
    QString error;
    const QByteArray data = key + QByteArray::number(verdict.deviceMs, 'g', 6) + ' ' +
                            QByteArray::number(verdict.cpuMs, 'g', 6) + '\n';
    if (!writeFramed(path, tag, data, &error))
        qCWarning(lcModel) << "cannot keep the choice of a device" << error;
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

// One device's part in the choice.
struct Contender {
    DeviceChoice device;
    QString path;
    QByteArray key;
    std::optional<Verdict> verdict; // kept from an earlier run, or measured now
    bool measured = false;
    bool failed = false;                    // while timed or built
    std::unique_ptr<VulkanNetwork> network; // built while timing it
};

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
            c.key = verdictKey(m_digest, device.properties);
            c.path = verdictPath(m_name, c.key);
            c.verdict = readVerdict(c.path, c.key);
            m_contenders.push_back(std::move(c));
        }
    } catch (const DeviceError& error) {
        qCInfo(lcModel).noquote() << m_name << "has no GPU:" << error.what();
    } catch (const GraphError& error) {
        qCInfo(lcModel).noquote() << m_name << "cannot run on a GPU:" << error.what();
    }
}

void Chooser::timeCpu()
{
    if (!m_cpu) {
        m_cpu = std::make_unique<Network>(m_graph);
        m_cpuMs = msOfRun(*m_cpu);
    } else if (!m_cpuWarm) {
        m_cpuMs = std::min(m_cpuMs, msOfRun(*m_cpu));
        m_cpuWarm = true;
    }
}

// A device far behind even a first, slow run of the CPU needs no closer look.
void Chooser::measure(Contender& c)
{
    timeCpu();
    try {
        c.network = std::make_unique<VulkanNetwork>(*m_program, c.device);
        // The first run pays for the driver's own set-up; far behind even so, it decides.
        VulkanNetwork::PartTime part = c.network->timePart(timedShare);
        double deviceMs = part.ms / part.share;
        if (deviceMs < 8 * m_cpuMs) {
            part = c.network->timePart(timedShare);
            deviceMs = std::min(deviceMs, part.ms / part.share);
        }
        if (deviceMs < 2 * m_cpuMs)
            timeCpu();
        c.verdict = Verdict{deviceMs, m_cpuMs};
        c.measured = true;
        writeVerdict(c.path, c.key, *c.verdict);
        if (c.verdict->deviceMs >= m_cpuMs)
            c.network.reset();
    } catch (const DeviceError& error) {
        qCWarning(lcModel).noquote()
            << describe(c.device.properties).c_str() << "failed while timed:" << error.what();
        c.network.reset();
        c.failed = true;
    }
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
        } catch (const DeviceError& error) {
            qCWarning(lcModel).noquote() << describe(c->device.properties).c_str() << error.what();
            c->failed = true;
            continue;
        }
        const std::string report = describe(c->device.properties) + ": " +
                                   milliseconds(c->verdict->deviceMs) + " a tile against " +
                                   milliseconds(c->verdict->cpuMs) + " for oneDNN on the CPU, " +
                                   (c->measured ? "measured" : "remembered");
        return {std::move(c->network), true, report};
    }
    std::string report = "oneDNN on the CPU";
    for (const Contender& c : m_contenders) {
        report += (&c == &m_contenders.front() ? ": " : "; ") + describe(c.device.properties);
        report += c.failed ? " failed"
                           : " " + milliseconds(c.verdict->deviceMs) + " a tile against " +
                                 milliseconds(c.verdict->cpuMs) + ", " +
                                 (c.measured ? "measured" : "remembered");
    }
    return onCpu(report);
}

UnitChoice Chooser::choose()
{
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
