#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Builds what a release carries, at test time: key pairs, signatures, installations, archives.
namespace UpdateFixtures {
struct KeyPair {
    QString publicKey; // base64, as in the build's information
    QByteArray secretKey;
};

KeyPair makeKeyPair();
// Writes a file, making its folders.
void writeFile(const QString& path, const QByteArray& bytes);
// A program of the source or build tree: `builtIn`, or where the environment variable names it
// (a copy that an unprivileged user can reach).
QString buildTool(const char* variable, const char* builtIn);
// Runs a program to its successful end.
void run(const QString& program, const QStringList& arguments);
// Base64 ed25519 signature of the file's bytes.
QString signFile(const QString& path, const QByteArray& secretKey);
// What a build installs: bin/tolvane, share/tolvane/Info.json and a model, and no manifest.
void makeTree(const QString& folder, const QString& version);
// Packs an installed tree with tools/package into `outFolder`; the archive's path.
QString packTree(const QString& tree, const QString& outFolder);
// Unpacks a release archive of `version` made by tools/package into `folder`, its own.
void unpackRelease(const QString& archive, const QString& folder, const QString& version);
// A relocatable installation of the given version, unpacked from its release archive.
void makeInstallation(const QString& folder, const QString& version);
// The version recorded in an installation, or empty.
QString installedVersion(const QString& folder);
// The release archive of a version, made by tools/package, at `path`; without `topFolder` the
// same entries at the top instead of in tolvane-<version>/.
void makeArchive(const QString& path, const QString& version, bool topFolder = true);
// The release archive of 1.1.0 with something added: `prepare` changes the release folder
// before it is packed, `extra` names more members as tar sees them from `base` (kept as given,
// absolute or climbing out).
void makeHostileArchive(const QString& archive, const QString& base,
                        const std::function<void(const QString& release)>& prepare,
                        const QStringList& extra = {});
} // namespace UpdateFixtures

#include <ostream>

// Readable failures for QString comparisons.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
