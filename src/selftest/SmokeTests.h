#pragma once

#include "pipeline/Pipeline.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <exception>

// Headless self-checks of the engine and the tracer, and the demonstration assets.
namespace SmokeTests {

// A failed check; description names it.
class Failure : public std::exception {
public:
    explicit Failure(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {
    }
    QString description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// Runs every check in a new "TolvaneQA-<UUID>" folder under the temporary directory, printing a
// "PASS: " line the moment each check passes and a summary at the end. Throws Failure for a false
// check, or the engine's error unchanged.
void run();
void run(const Pipeline::Runner& pipeline, std::FILE* out);

// Writes the demonstration images and SVG trace of the web site kept in the source tree.
void makeDemo();
void makeDemo(const QString& root, const Pipeline::Runner& pipeline, std::FILE* out);

// One line of UTF-8 text, flushed at once.
void printLine(std::FILE* out, const QString& line);

} // namespace SmokeTests
