#pragma once

#include <QByteArray>
#include <QString>

// ed25519 detached signatures of update archives (libsodium).
namespace UpdateSignature {
// True when `publicKey` is base64 of exactly 32 bytes.
bool isValidPublicKey(const QString& publicKey);
// Checks the whole file open as `fd` against the base64 signature (64 bytes) and public key
// (32 bytes). Throws MessageError naming what failed: the build's key, the signature, or the
// file.
void verify(int fd, const QString& signature, const QString& publicKey);
} // namespace UpdateSignature
