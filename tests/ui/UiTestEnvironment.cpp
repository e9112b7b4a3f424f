#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"

#include <QNetworkProxy>
#include <gtest/gtest.h>

namespace {

// No view test may reach the user's keyring or a proxy: keys live in memory, requests go to
// loopback servers.
class UiTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
    }
};

[[maybe_unused]] const auto* environment =
    ::testing::AddGlobalTestEnvironment(new UiTestEnvironment);

} // namespace
