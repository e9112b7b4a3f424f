#include "LaunchMode.h"

LaunchMode launchMode(const QStringList& arguments)
{
    if (arguments.contains(QStringLiteral("--smoke-test")))
        return LaunchMode::smokeTest;
    if (arguments.contains(QStringLiteral("--make-demo")))
        return LaunchMode::makeDemo;
    return LaunchMode::window;
}

QStringList rawArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
