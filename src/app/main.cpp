#include "core/EngineError.h"
#include "selftest/LaunchMode.h"
#include "selftest/SmokeTests.h"
#include "tracer/SVGVectorizer.h"

#include <QCoreApplication>
#include <QSettings>
#include <cstdio>

namespace {

void identifyApplication()
{
    QCoreApplication::setOrganizationDomain(QStringLiteral("vandelorn.com"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vandelorn"));
    QCoreApplication::setApplicationName(QStringLiteral("Tolvane"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
}

QString describe(const std::exception& error)
{
    if (auto* engine = dynamic_cast<const EngineError*>(&error))
        return engine->message();
    if (auto* failure = dynamic_cast<const SmokeTests::Failure*>(&error))
        return failure->description();
    return QString::fromUtf8(error.what());
}

// Headless modes: standard output carries the report, standard error only the failure line.
int runHeadless(int argc, char** argv, LaunchMode mode)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QCoreApplication app(argc, argv);
    identifyApplication();
    try {
        if (mode == LaunchMode::smokeTest)
            SmokeTests::run();
        else
            SmokeTests::makeDemo();
        return 0;
    } catch (const std::exception& error) {
        const QByteArray line = "FAIL: " + describe(error).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    SVGVectorizer::registerWithImageWriter();
    const LaunchMode mode = launchMode(rawArguments(argc, argv));
    if (mode != LaunchMode::window)
        return runHeadless(argc, argv, mode);
    QCoreApplication app(argc, argv);
    identifyApplication();
    std::fputs("Tolvane: the main window is not available in this build yet. "
               "Run tolvane --smoke-test to check the engine.\n",
               stdout);
    return 0;
}
