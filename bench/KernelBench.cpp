#include "Bench.h"

#include "sr/KernelStatistics.h"

#include <QStringList>

namespace {

constexpr char deviceVariable[] = "TOLVANE_BENCH_DEVICE";

// The first device a GPU run may take (any type, so llvmpipe where there is no GPU), or the
// first whose name holds the variable's text.
std::optional<sr::DeviceChoice> benchDevice(const std::vector<sr::DeviceChoice>& devices)
{
    const QString wanted = qEnvironmentVariable(deviceVariable);
    for (const sr::DeviceChoice& device : devices)
        if (QString::fromUtf8(device.properties.deviceName).contains(wanted, Qt::CaseInsensitive))
            return device;
    return std::nullopt;
}

// The statistics that say how a kernel uses the hardware; all of them where none is known.
QStringList shown(const std::vector<std::pair<std::string, std::string>>& values)
{
    QStringList all, chosen;
    for (const auto& [name, value] : values) {
        const QString entry = QString::fromStdString(name + " " + value);
        all << entry;
        const QString lower = QString::fromStdString(name).toLower();
        if (lower.startsWith(QLatin1String("pre-sched")))
            continue;
        for (const char* word :
             {"gpr", "register", "instruction", "spill", "fill", "lds", "memory", "scratch"})
            if (lower.contains(QLatin1String(word))) {
                chosen << entry;
                break;
            }
    }
    return chosen.isEmpty() ? all : chosen;
}

void reportKernel(const sr::KernelStatistics& kernel)
{
    report(QStringLiteral("  %1 (subgroup %2): %3")
               .arg(QString::fromStdString(kernel.kernel))
               .arg(kernel.subgroupSize)
               .arg(shown(kernel.values).join(QLatin1String(", "))));
    if (const auto& block = kernel.hottest)
        report(QStringLiteral("    hottest block: FMAs %1 of %2 vector instructions (%3 %)")
                   .arg(block->fmas)
                   .arg(block->vectorInstructions)
                   .arg(100.0 * block->fmas / block->vectorInstructions, 0, 'f', 1));
}

void benchKernels()
{
    std::vector<sr::DeviceChoice> devices;
    try {
        devices = sr::candidateDevices(0, true);
    } catch (const sr::DeviceError& error) {
        report(QStringLiteral("  no Vulkan: %1").arg(QString::fromUtf8(error.what())));
        return;
    }
    QStringList names;
    for (const sr::DeviceChoice& device : devices)
        names << QString::fromStdString(sr::describe(device.properties));
    report(QStringLiteral("  devices: %1; %2=<part of a name> picks one, else the first")
               .arg(names.isEmpty() ? QStringLiteral("none") : names.join(QLatin1String(", ")),
                    QLatin1String(deviceVariable)));
    const std::optional<sr::DeviceChoice> device = benchDevice(devices);
    if (!device) {
        report(QStringLiteral("  no device to measure"));
        return;
    }
    report(QStringLiteral("  device: %1")
               .arg(QString::fromStdString(sr::describe(device->properties))));
    try {
        const std::vector<sr::KernelStatistics> kernels = sr::kernelStatistics(*device);
        if (kernels.empty())
            report(QStringLiteral("  the driver gives no statistics "
                                  "(no VK_KHR_pipeline_executable_properties)"));
        for (const sr::KernelStatistics& kernel : kernels)
            reportKernel(kernel);
    } catch (const sr::DeviceError& error) {
        report(QStringLiteral("  failed: %1").arg(QString::fromUtf8(error.what())));
    }
}

const BenchRegistration kernels("kernels", benchKernels);

} // namespace
