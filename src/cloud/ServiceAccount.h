#pragma once

#include "Result.h"

#include <QString>
#include <functional>

class QObject;
class SecretStore;

// The account token by which the product's service knows this installation: 32 random bytes as
// base64url (43 characters, no padding), made on first use and kept in the keyring under the
// account "service.account". It travels only to the service, as a bearer token, and is never
// logged or written to the settings.
namespace ServiceAccount {

inline constexpr char16_t account[] = u"service.account";

// The stored token, or a new one, stored before it is returned. A stored value that is not a
// token is replaced. Throws MessageError with the keyring's sentence when it cannot be read or
// the new token cannot be stored. Blocks for as long as the keyring takes.
QString token();
QString token(SecretStore& store);
// token() off the GUI thread; a keyring that does not answer in time gives its reading sentence.
// `done` runs on `context`'s thread, unless `context` is gone by then.
void tokenLater(QObject* context, std::function<void(const Result<QString>&)> done);
// 43 characters of the base64url alphabet.
bool isToken(const QString& text);

} // namespace ServiceAccount
