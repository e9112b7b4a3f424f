#pragma once

#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "cloud/KeyringQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

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

// A Secret Service that is registered but never answers: every call waits until release(). A
// call made on the GUI thread is counted and refused at once, so that it shows as a fault
// instead of hanging the suite.
class SilentSecretStore : public SecretStore {
public:
    SecretReply store(const QString&, const QString&, const QByteArray&) override { return wait(); }
    SecretReply lookup(const QString&, const QString&) override { return wait(); }
    SecretReply remove(const QString&, const QString&) override { return wait(); }

    void release()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_released = true;
        m_wake.notify_all();
    }
    int calls() const
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_calls;
    }
    int callsOnGuiThread() const
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_guiCalls;
    }

private:
    SecretReply wait()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        ++m_calls;
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
            ++m_guiCalls;
            return SecretReply::failed(u"called on the GUI thread"_qs);
        }
        m_wake.wait_for(lock, std::chrono::minutes(1), [this] { return m_released; });
        return SecretReply::failed(u"Did not receive a reply"_qs);
    }

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_released = false;
    int m_calls = 0;
    int m_guiCalls = 0;
};

// The silent keyring installed, with a short answer bound; released and replaced at the end, so
// that the keyring's thread is free for the next test.
class SilentKeyring {
public:
    explicit SilentKeyring(int boundMs = 1500)
    {
        KeyringQueue::setAnswerBoundMs(boundMs);
        KeychainStore::setStore(store);
    }
    ~SilentKeyring()
    {
        store->release();
        KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
        KeyringQueue::setAnswerBoundMs(KeyringQueue::defaultAnswerBoundMs);
    }

    std::shared_ptr<SilentSecretStore> store = std::make_shared<SilentSecretStore>();
};
