#pragma once

#include "SecretStore.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QObject;

// One keyring item per account under the product's service name. The plain calls block for as
// long as the keyring takes and are never made on the GUI thread; the window uses the "Later"
// forms, which run on the keyring's own thread and answer within a bound (KeyringQueue).
namespace KeychainStore {

inline constexpr char16_t service[] = u"com.vandelorn.tolvane.pro";
// What a keyring that does not answer in time is said to have done.
inline const QString noAnswer = QStringLiteral("the keyring did not answer");

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

// The same calls against a given store, as the keyring's thread makes them.
void save(SecretStore& store, const QByteArray& data, const QString& account);
std::optional<QByteArray> lookup(SecretStore& store, const QString& account);

// Off the GUI thread; `done` runs on `context`'s thread, unless `context` is gone by then.
// After a noAnswer the call may still end: `late` follows then, so that the caller reads the
// item again instead of trusting what it was told.
// The item as the store answered (a keyring that did not answer: failed with noAnswer).
void readLater(const QString& account, QObject* context,
               std::function<void(const SecretReply&)> done, std::function<void()> late = {});
// `done` gets a null text once the item is stored or removed, else the failure's sentence.
void saveLater(const QByteArray& data, const QString& account, QObject* context,
               std::function<void(const QString& error)> done, std::function<void()> late = {});
void removeLater(const QString& account, QObject* context,
                 std::function<void(const QString& error)> done, std::function<void()> late = {});

// The sentence of a reading failure, for callers that report one.
QString readFailure(const QString& message);
// Whether a reply of readLater() says only that the keyring did not answer in time.
bool isUnanswered(const SecretReply& reply);
// Whether a failure's sentence of saveLater() or removeLater() is that one.
bool isUnanswered(const QString& error);

// The store behind these calls: the desktop keyring unless replaced (tests install one in memory).
std::shared_ptr<SecretStore> store();
void setStore(std::shared_ptr<SecretStore> store);

} // namespace KeychainStore
