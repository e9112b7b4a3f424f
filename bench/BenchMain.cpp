#include "Bench.h"

#include "imageio/ImageLoader.h"

#include <QFile>
#include <QApplication>
#include <algorithm>
#include <cstring>

namespace {
struct Entry {
    const char* name;
    BenchFunction function;
};
std::vector<Entry>& registry()
{
    static std::vector<Entry> entries;
    return entries;
}
} // namespace

void registerBench(const char* name, BenchFunction function)
{
    registry().push_back({name, function});
}

double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const size_t mid = samples.size() / 2;
    return samples.size() % 2 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2;
}

QByteArray procValue(const char* file, const char* key)
{
    QFile status(QString::fromLatin1(file));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(line.indexOf(':') + 1).trimmed();
    return {};
}

double peakResidentMiB()
{
    return procValue("/proc/self/status", "VmHWM").split(' ').first().toDouble() / 1024.0;
}

void report(const QString& line)
{
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// Usage: tolvane_bench [name-substring ...]; without arguments every bench runs.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ImageLoader::configureReaders();
    QApplication app(argc, argv); // the comparison bench draws a widget
    for (const Entry& entry : registry()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || std::strstr(entry.name, argv[i]);
        if (!wanted)
            continue;
        report(QStringLiteral("== %1").arg(QString::fromUtf8(entry.name)));
        entry.function();
    }
    return 0;
}

void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}
