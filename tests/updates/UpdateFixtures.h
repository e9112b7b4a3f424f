#pragma once

#include <QByteArray>
#include <QString>

// Builds what a release carries, at test time: key pairs, signatures, installations, archives.
namespace UpdateFixtures {
struct KeyPair {
    QString publicKey; // base64, as in the build's information
    QByteArray secretKey;
};

KeyPair makeKeyPair();
// Base64 ed25519 signature of the file's bytes.
QString signFile(const QString& path, const QByteArray& secretKey);
// A relocatable installation of the given version: bin/tolvane, share/tolvane/Info.json.
void makeInstallation(const QString& folder, const QString& version);
// The version recorded in an installation, or empty.
QString installedVersion(const QString& folder);
// A tar.gz of an installation at `path`; with `topFolder` its entries sit in tolvane-<version>/.
void makeArchive(const QString& path, const QString& version, bool topFolder = true);
} // namespace UpdateFixtures

#include <ostream>

// Readable failures for QString comparisons.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
