#include "CloudTestSupport.h"
#include "cloud/LibsecretStore.h"
#include "cloud/ProviderKeyStore.h"
#include "core/EngineError.h"

using namespace ProviderKeyStore;

namespace {

QString keyOfLength(int clusters, QChar fill = u'k')
{
    return u"xai-"_qs + QString(clusters - 4, fill);
}

QString messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const MessageError& error) {
        return error.message();
    }
    return {};
}

} // namespace

TEST(ProviderKeyRule, CountsUserPerceivedCharacters)
{
    EXPECT_FALSE(isValidKey(keyOfLength(20)));
    EXPECT_TRUE(isValidKey(keyOfLength(21)));
    EXPECT_TRUE(isValidKey(keyOfLength(299)));
    EXPECT_FALSE(isValidKey(keyOfLength(300)));
    // "e" + COMBINING ACUTE is one character: 20 clusters in 21 UTF-16 units.
    const QString combining = keyOfLength(19) + u"e\u0301"_qs;
    EXPECT_EQ(combining.size(), 21);
    EXPECT_FALSE(isValidKey(combining));
    EXPECT_TRUE(isValidKey(combining + u'k'));
    // A character outside the BMP is one character, not two.
    EXPECT_TRUE(isValidKey(keyOfLength(298) + u"\U0001F600"_qs));
    EXPECT_FALSE(isValidKey(keyOfLength(299) + u"\U0001F600"_qs));
}

TEST(ProviderKeyRule, NeedsTheExactPrefixAndNoInnerBlanks)
{
    const QString body(20, u'k');
    EXPECT_FALSE(isValidKey(u"XAI-"_qs + body));
    EXPECT_FALSE(isValidKey(u"xai_"_qs + body));
    EXPECT_FALSE(isValidKey(u"xai"_qs + body));
    // A mark on the hyphen makes the fourth character something else.
    EXPECT_FALSE(isValidKey(u"xai-\u0301"_qs + body));
    for (const QString& blank : {u" "_qs, u"\t"_qs, u"\u00A0"_qs, u"\n"_qs, u"\u2003"_qs})
        EXPECT_FALSE(isValidKey(u"xai-abcdefghij"_qs + blank + u"klmnopqrst"_qs))
            << blank.toUcs4()[0];
    EXPECT_TRUE(isValidKey(u"  \t"_qs + keyOfLength(21) + u"\n"_qs));
}

TEST_F(MemoryKeyringTest, SaveGrokStoresTheTrimmedKeyAndReplacesIt)
{
    const QString first = u"xai-"_qs + QString(17, u'a');
    saveGrok(u"  "_qs + first + u"\n"_qs);
    EXPECT_EQ(storedKey(), first.toUtf8());
    EXPECT_EQ(readKeyText(), first);

    const QString second = keyOfLength(40, u'b');
    saveGrok(second);
    EXPECT_EQ(readKeyText(), second);
    EXPECT_EQ(keyring->writeCount(), 2);

    EXPECT_EQ(messageOf([] { saveGrok(u"XAI-"_qs + QString(30, u'c')); }),
              u"Enter a valid xAI API key."_qs);
    EXPECT_EQ(readKeyText(), second);
    EXPECT_EQ(keyring->writeCount(), 2);
}

TEST_F(MemoryKeyringTest, KeyringFailuresSaySoInOneSentence)
{
    saveGrok(keyOfLength(30));
    keyring->failStore = u"The collection is locked."_qs;
    EXPECT_EQ(messageOf([] { KeychainStore::save("x", u"provider.xai"_qs); }),
              u"Saving the key to the keyring failed: The collection is locked."_qs);
    EXPECT_EQ(readKeyText(), keyOfLength(30)); // the stored key is unchanged

    keyring->failRemove = u"No such interface"_qs;
    EXPECT_EQ(messageOf([] { KeychainStore::remove(u"provider.xai"_qs); }),
              u"Removing the key from the keyring failed: No such interface."_qs);
    EXPECT_TRUE(readKeyText().has_value());

    keyring->failLookup = u"Locked"_qs;
    EXPECT_FALSE(KeychainStore::read(u"provider.xai"_qs).has_value());
}

TEST_F(MemoryKeyringTest, RemovingOrReadingAMissingItemIsNoError)
{
    EXPECT_EQ(messageOf([] { KeychainStore::remove(u"provider.xai"_qs); }), QString());
    EXPECT_FALSE(KeychainStore::read(u"never.written"_qs).has_value());
    KeychainStore::save("abc", u"provider.xai"_qs);
    KeychainStore::remove(u"provider.xai"_qs);
    EXPECT_FALSE(KeychainStore::read(u"provider.xai"_qs).has_value());
}

TEST_F(MemoryKeyringTest, KeyTextMustBeStrictUtf8)
{
    const auto textOf = [](const QByteArray& bytes) {
        KeychainStore::save(bytes, u"provider.xai"_qs);
        return readKeyText();
    };
    EXPECT_FALSE(textOf("\xFF\xFE").has_value());
    EXPECT_FALSE(textOf("xai-\xED\xA0\x80").has_value()); // an encoded surrogate
    EXPECT_FALSE(textOf("xai-\xC3").has_value());         // cut in the middle of a character
    EXPECT_EQ(textOf(""), QString(""));                   // present, though empty
    EXPECT_EQ(textOf("xai-\xC3\xA9"), u"xai-\u00E9"_qs);
    EXPECT_EQ(textOf("\xEF\xBB\xBFxai"), u"\uFEFFxai"_qs); // kept as stored
}

// Against a real gnome-keyring on a private bus: only under tools/with-keyring.
class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qgetenv("TOLVANE_TEST_KEYRING") != "1")
            GTEST_SKIP() << "runs only under tools/with-keyring";
        KeychainStore::setStore(store);
    }
    void TearDown() override { KeychainStore::setStore(std::make_shared<InMemorySecretStore>()); }

    std::shared_ptr<LibsecretStore> store = std::make_shared<LibsecretStore>();
};

TEST_F(KeyringTest, RoundTripsBinaryValuesPerAccount)
{
    const QString service = u"com.vandelorn.tolvane.pro"_qs;
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    ASSERT_EQ(store->store(service, u"binary"_qs, binary).status, SecretReply::Status::ok)
        << store->store(service, u"binary"_qs, binary).message.toStdString();
    ASSERT_EQ(store->store(service, u"other"_qs, "second").status, SecretReply::Status::ok);

    EXPECT_EQ(store->lookup(service, u"binary"_qs).value, binary);
    EXPECT_EQ(store->lookup(service, u"other"_qs).value, "second");
    EXPECT_EQ(store->lookup(u"another.service"_qs, u"binary"_qs).status,
              SecretReply::Status::missing);

    ASSERT_EQ(store->store(service, u"binary"_qs, "replaced").status, SecretReply::Status::ok);
    EXPECT_EQ(store->lookup(service, u"binary"_qs).value, "replaced");

    EXPECT_EQ(store->remove(service, u"binary"_qs).status, SecretReply::Status::ok);
    EXPECT_EQ(store->remove(service, u"binary"_qs).status, SecretReply::Status::missing);
    EXPECT_EQ(store->lookup(service, u"binary"_qs).status, SecretReply::Status::missing);
    EXPECT_EQ(store->lookup(service, u"other"_qs).value, "second");
}

TEST_F(KeyringTest, StoresTheProviderKey)
{
    const QString key = keyOfLength(48, u'z');
    saveGrok(u" "_qs + key + u" "_qs);
    EXPECT_EQ(readKeyText(), key);
    EXPECT_EQ(KeychainStore::read(u"provider.xai"_qs), key.toUtf8());
    KeychainStore::remove(u"provider.xai"_qs);
    KeychainStore::remove(u"provider.xai"_qs);
    EXPECT_FALSE(readKeyText().has_value());
}
