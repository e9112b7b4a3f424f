#pragma once

#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"

#include <gtest/gtest.h>
#include <memory>

// A fresh in-memory keyring for each test.
class MemoryKeyringTest : public ::testing::Test {
protected:
    void SetUp() override { KeychainStore::setStore(keyring); }
    void TearDown() override { KeychainStore::setStore(std::make_shared<InMemorySecretStore>()); }

    std::optional<QByteArray> storedKey() const
    {
        return keyring->value(u"com.vandelorn.tolvane.pro"_qs, u"provider.xai"_qs);
    }

    std::shared_ptr<InMemorySecretStore> keyring = std::make_shared<InMemorySecretStore>();
};
