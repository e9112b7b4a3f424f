#pragma once

#include "SecretStore.h"

#include <QString>
#include <functional>
#include <optional>

class QObject;

// The user's own xAI API key: its format rule and its keyring account.
namespace ProviderKeyStore {

inline constexpr char16_t xaiAccount[] = u"provider.xai";
inline constexpr int minimumKeyLength = 21;
inline constexpr int maximumKeyLength = 299;

// After trimming: begins with "xai-" (case-sensitive), 21 to 299 user-perceived characters
// (grapheme clusters, the prefix included), and no whitespace or control character anywhere
// (a request header cannot carry one).
bool isValidKey(const QString& key);
// Trims and checks the key, then stores its UTF-8 bytes under "provider.xai". Throws MessageError
// "Enter a valid xAI API key." (nothing written) or the keyring's failure. Blocks.
void saveGrok(const QString& key);
// The same off the GUI thread: `done` gets a null text once the key is stored, else the sentence.
// `late` as for KeychainStore::saveLater().
void saveGrokLater(const QString& key, QObject* context,
                   std::function<void(const QString& error)> done,
                   std::function<void()> late = {});
// The stored key as text, exactly as stored; nothing when missing or not valid UTF-8. Blocks.
std::optional<QString> readKeyText();
// Reads the stored key off the GUI thread; `done` gets the keyring's reply.
void readLater(QObject* context, std::function<void(const SecretReply&)> done,
               std::function<void()> late = {});
// The key in such a reply when the studio can send it: valid UTF-8 without control characters.
std::optional<QString> usableKey(const SecretReply& reply);
// Strict UTF-8: nothing for any invalid or incomplete sequence; a leading BOM is kept.
std::optional<QString> decodeUtf8(const QByteArray& bytes);

} // namespace ProviderKeyStore
