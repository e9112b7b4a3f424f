#pragma once

#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "cloud/KeyringQueue.h"

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

// A Secret Service that is registered but does not answer: every call waits until release(),
// then fails, or, given a backing store, does its work there (a keyring that answers late). A
// call made on the GUI thread is counted and refused at once, so that it shows as a fault
// instead of hanging the suite.
class SilentSecretStore : public SecretStore {
public:
    explicit SilentSecretStore(std::shared_ptr<SecretStore> backing = {})
        : m_backing(std::move(backing))
    {
    }

    SecretReply store(const QString& service, const QString& account,
                      const QByteArray& value) override
    {
        return wait([&](SecretStore& store) { return store.store(service, account, value); });
    }
    SecretReply lookup(const QString& service, const QString& account) override
    {
        return wait([&](SecretStore& store) { return store.lookup(service, account); });
    }
    SecretReply remove(const QString& service, const QString& account) override
    {
        return wait([&](SecretStore& store) { return store.remove(service, account); });
    }

    void release()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_released = true;
        m_wake.notify_all();
    }
    // Calls from now on wait again.
    void hold()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_released = false;
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
    template<typename Work>
    SecretReply wait(Work work)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        ++m_calls;
        // The GUI thread as it was when this store was made: a call may run while the
        // application object is already being destroyed.
        if (QThread::currentThread() == m_guiThread) {
            ++m_guiCalls;
            return SecretReply::failed(u"called on the GUI thread"_qs);
        }
        m_wake.wait_for(lock, std::chrono::minutes(1), [this] { return m_released; });
        if (!m_backing)
            return SecretReply::failed(u"Did not receive a reply"_qs);
        lock.unlock();
        return work(*m_backing);
    }

    const std::shared_ptr<SecretStore> m_backing;
    QThread* const m_guiThread = QThread::currentThread();
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
    explicit SilentKeyring(int boundMs = 1500, std::shared_ptr<SecretStore> backing = {})
        : store(std::make_shared<SilentSecretStore>(std::move(backing)))
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

    std::shared_ptr<SilentSecretStore> store;
};
