#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class SecretStore;

// One keyring item per account under the product's service name. Synchronous; GUI thread only.
namespace KeychainStore {

inline constexpr char16_t service[] = u"com.vandelorn.tolvane.pro";

// Creates the item or replaces its value. Throws MessageError "Saving the key to the keyring
// failed: <the keyring's message>." and leaves a stored value as it was.
void save(const QByteArray& data, const QString& account);
// The item's bytes; nothing when it is missing or cannot be read. Never throws.
std::optional<QByteArray> read(const QString& account);
// The item's bytes, or nothing when it is missing. Throws MessageError "Reading from the
// keyring failed: <message>." when the keyring cannot answer (locked, no service).
std::optional<QByteArray> lookup(const QString& account);
// Deletes the item; a missing item is no error. Throws MessageError "Removing the key from the
// keyring failed: <message>.".
void remove(const QString& account);

// The store behind these calls: the desktop keyring unless replaced (tests install one in memory).
std::shared_ptr<SecretStore> store();
void setStore(std::shared_ptr<SecretStore> store);

} // namespace KeychainStore
