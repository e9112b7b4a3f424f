#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <vector>

// A tiny registry: each bench file registers its functions, main() runs them in order.
using BenchFunction = void (*)();
void registerBench(const char* name, BenchFunction function);

struct BenchRegistration {
    BenchRegistration(const char* name, BenchFunction function) { registerBench(name, function); }
};

// Median of the samples (which it sorts).
double median(std::vector<double> samples);
// The value after the colon of the first line starting with `key` in a /proc file; empty if none.
QByteArray procValue(const char* file, const char* key);
// Peak resident memory of the process so far, in MiB.
double peakResidentMiB();
// Starts a new peak for peakResidentMiB().
void resetPeakResident();
// One line on standard output, flushed.
void report(const QString& line);
