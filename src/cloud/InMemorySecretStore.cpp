#include "InMemorySecretStore.h"

SecretReply InMemorySecretStore::store(const QString& service, const QString& account,
                                       const QByteArray& value)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (failStore)
        return SecretReply::failed(*failStore);
    m_items.insert({service, account}, value);
    ++m_writes;
    return SecretReply::ok();
}

SecretReply InMemorySecretStore::lookup(const QString& service, const QString& account)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (failLookup)
        return SecretReply::failed(*failLookup);
    const auto item = m_items.constFind({service, account});
    return item == m_items.cend() ? SecretReply::missing() : SecretReply::ok(*item);
}

SecretReply InMemorySecretStore::remove(const QString& service, const QString& account)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (failRemove)
        return SecretReply::failed(*failRemove);
    return m_items.remove({service, account}) ? SecretReply::ok() : SecretReply::missing();
}

std::optional<QByteArray> InMemorySecretStore::value(const QString& service,
                                                     const QString& account) const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    const auto item = m_items.constFind({service, account});
    if (item == m_items.cend())
        return std::nullopt;
    return *item;
}

int InMemorySecretStore::writeCount() const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_writes;
}
