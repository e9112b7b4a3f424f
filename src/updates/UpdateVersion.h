#pragma once

#include <QString>

// Release versions are dot-separated whole numbers ("1.10.2"). They compare segment by segment
// as numbers, missing segments counting as 0, so "1.10" > "1.9" and "2" == "2.0".
namespace UpdateVersion {
// True for one or more dot-separated runs of ASCII digits, nothing else.
bool isValid(const QString& version);
// Negative, zero or positive like strcmp. Invalid versions compare below every valid one.
int compare(const QString& a, const QString& b);
} // namespace UpdateVersion
