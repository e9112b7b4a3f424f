#include "LibsecretStore.h"

#include <libsecret/secret.h>
#include <memory>

namespace {

// Matched on the attributes alone, so items written by other Secret Service clients with the
// same service and account are found too.
const SecretSchema* schema()
{
    static const SecretSchema tolvaneSchema = {"com.vandelorn.tolvane.Secret",
                                               SECRET_SCHEMA_DONT_MATCH_NAME,
                                               {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                                {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                                {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                               0,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr};
    return &tolvaneSchema;
}

using ErrorPtr = std::unique_ptr<GError, decltype(&g_error_free)>;
using TablePtr = std::unique_ptr<GHashTable, decltype(&g_hash_table_unref)>;
using ValuePtr = std::unique_ptr<SecretValue, decltype(&secret_value_unref)>;

// The attribute table points into the two byte arrays, which must outlive it.
struct Attributes {
    QByteArray service;
    QByteArray account;
    TablePtr table{g_hash_table_new(g_str_hash, g_str_equal), &g_hash_table_unref};

    Attributes(const QString& serviceName, const QString& accountName)
        : service(serviceName.toUtf8()), account(accountName.toUtf8())
    {
        g_hash_table_insert(table.get(), gpointer("service"), service.data());
        g_hash_table_insert(table.get(), gpointer("account"), account.data());
    }
};

// The keyring's message on one line; a fallback when it says nothing.
QString messageOf(GError* error)
{
    QString text = error && error->message ? QString::fromUtf8(error->message) : QString();
    text = text.simplified();
    return text.isEmpty() ? QStringLiteral("the keyring gave no reason") : text;
}

} // namespace

SecretReply LibsecretStore::store(const QString& service, const QString& account,
                                  const QByteArray& value)
{
    Attributes attributes(service, account);
    ValuePtr secret(secret_value_new(value.constData(), value.size(), "application/octet-stream"),
                    &secret_value_unref);
    const QByteArray label = ("Tolvane " + account).toUtf8();
    GError* raw = nullptr;
    const gboolean stored = secret_password_storev_binary_sync(
        schema(), attributes.table.get(), SECRET_COLLECTION_DEFAULT, label.constData(),
        secret.get(), nullptr, &raw);
    ErrorPtr error(raw, &g_error_free);
    if (!stored || error)
        return SecretReply::failed(messageOf(error.get()));
    return SecretReply::ok();
}

SecretReply LibsecretStore::lookup(const QString& service, const QString& account)
{
    Attributes attributes(service, account);
    GError* raw = nullptr;
    ValuePtr secret(
        secret_password_lookupv_binary_sync(schema(), attributes.table.get(), nullptr, &raw),
        &secret_value_unref);
    ErrorPtr error(raw, &g_error_free);
    if (error)
        return SecretReply::failed(messageOf(error.get()));
    if (!secret)
        return SecretReply::missing();
    gsize length = 0;
    const gchar* bytes = secret_value_get(secret.get(), &length);
    return SecretReply::ok(QByteArray(bytes, qsizetype(length)));
}

SecretReply LibsecretStore::remove(const QString& service, const QString& account)
{
    Attributes attributes(service, account);
    GError* raw = nullptr;
    const gboolean removed =
        secret_password_clearv_sync(schema(), attributes.table.get(), nullptr, &raw);
    ErrorPtr error(raw, &g_error_free);
    if (error)
        return SecretReply::failed(messageOf(error.get()));
    return removed ? SecretReply::ok() : SecretReply::missing();
}
