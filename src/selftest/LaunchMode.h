#pragma once

#include <QStringList>

// What the process does, decided from the raw arguments before any Qt application exists.
enum class LaunchMode { window, smokeTest, makeDemo };

// Exact, case-sensitive flags; with both, only the self-test runs.
LaunchMode launchMode(const QStringList& arguments);
QStringList rawArguments(int argc, char** argv);
