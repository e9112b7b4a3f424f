#pragma once

#include <QString>

// The account token by which the product's service knows this installation: 32 random bytes as
// base64url (43 characters, no padding), made on first use and kept in the keyring under the
// account "service.account". It travels only to the service, as a bearer token, and is never
// logged or written to the settings. GUI thread only (the keyring is synchronous).
namespace ServiceAccount {

inline constexpr char16_t account[] = u"service.account";

// The stored token, or a new one, stored before it is returned. A stored value that is not a
// token is replaced. Throws MessageError with the keyring's sentence when it cannot be read or
// the new token cannot be stored.
QString token();
// 43 characters of the base64url alphabet.
bool isToken(const QString& text);

} // namespace ServiceAccount
