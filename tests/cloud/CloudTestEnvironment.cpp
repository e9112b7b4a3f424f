#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"

#include <QNetworkProxy>
#include <gtest/gtest.h>

namespace {

// No test of this suite may reach the user's keyring or a proxy: every keyring call goes to
// memory (the Keyring tests install the real store themselves) and every request to loopback.
class CloudTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
    }
};

[[maybe_unused]] const auto* environment =
    ::testing::AddGlobalTestEnvironment(new CloudTestEnvironment);

} // namespace
