#include "HVSecretStore.h"

#include "HVError.h"

#include <libsecret/secret.h>

#include <cstring>
#include <mutex>

namespace {

const SecretSchema* remoteSchema() {
    static const SecretSchema schema = {"org.halvet.Remote",
                                        SECRET_SCHEMA_NONE,
                                        {
                                            {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"protocol", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                                            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        },
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

// One request at a time: the requests share libsecret's connection to the service.
std::mutex& storeMutex() {
    static std::mutex mutex;
    return mutex;
}

const char* protocolAttribute(HVRemoteProtocol protocol) {
    switch (protocol) {
    case HVRemoteProtocol::FTP:
        return "ftp";
    case HVRemoteProtocol::SFTP:
        return "sftp";
    case HVRemoteProtocol::WebDAV:
        return "webdav";
    }
    return "ftp";
}

// The attributes of a key; the strings live as long as the key and portText.
GHashTable* attributesOf(const HVSecretStoreKey& key, const std::string& portText) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("server"),
                        const_cast<char*>(key.host.c_str()));
    g_hash_table_insert(attributes, const_cast<char*>("user"), const_cast<char*>(key.user.c_str()));
    g_hash_table_insert(attributes, const_cast<char*>("protocol"),
                        const_cast<char*>(protocolAttribute(key.protocol)));
    g_hash_table_insert(attributes, const_cast<char*>("port"), const_cast<char*>(portText.c_str()));
    return attributes;
}

const char* const lockedReason = "The password store is locked. Unlock it (usually by logging "
                                 "in to the desktop), then try again.";

HVError storeError(GError* failure) {
    std::string reason;
    if (failure->domain == SECRET_ERROR && failure->code == SECRET_ERROR_IS_LOCKED)
        reason = lockedReason;
    else if (failure->domain == G_IO_ERROR || failure->domain == G_DBUS_ERROR ||
             failure->domain == G_SPAWN_ERROR)
        reason = "The password store is not running or cannot be reached. Start a desktop "
                 "session with a keyring (such as GNOME Keyring), then try again.";
    else
        reason = "The password store refused the request.";
    reason += " (";
    reason += failure->message ? failure->message : "no details";
    reason += ")";
    g_error_free(failure);
    return HVError(HVErrorDomain, HVSecretStoreError, "Cannot Use the Password Store",
                   std::move(reason));
}

// Whether an item with these attributes exists though a lookup found none: a lookup that cannot
// unlock its keyring (no one to answer the unlock prompt) finds nothing, with no error. The
// item's own Locked property may be stale here, so its existence is the answer.
bool hasLockedItem(GHashTable* attributes) {
    GError* failure = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &failure);
    if (!service) {
        g_clear_error(&failure);
        return false;
    }
    GList* items = secret_service_search_sync(service, remoteSchema(), attributes,
                                              SECRET_SEARCH_ALL, nullptr, &failure);
    g_clear_error(&failure);
    bool found = items != nullptr;
    g_list_free_full(items, g_object_unref);
    g_object_unref(service);
    return found;
}

} // namespace

// libsecret's synchronous calls run a main context of their own while they wait, so they
// work on any thread, whether or not it runs a loop.

HVSecretStore& HVSecretStore::sharedInstance() {
    static HVSecretStore store;
    return store;
}

std::optional<std::string> HVSecretStore::password(const HVSecretStoreKey& key, HVError* error) {
    std::lock_guard lock(storeMutex());
    std::string portText = std::to_string(key.port);
    GHashTable* attributes = attributesOf(key, portText);
    GError* failure = nullptr;
    gchar* found = secret_password_lookupv_sync(remoteSchema(), attributes, nullptr, &failure);
    bool locked = !found && !failure && hasLockedItem(attributes);
    g_hash_table_unref(attributes);
    if (failure) {
        secret_password_free(found);
        HVSetError(error, storeError(failure));
        return std::nullopt;
    }
    if (locked) {
        HVSetError(error,
                   HVError(HVErrorDomain, HVSecretStoreError, "Cannot Use the Password Store",
                           std::string(lockedReason) + " (the password is in a locked "
                                                       "keyring)"));
        return std::nullopt;
    }
    if (!found)
        return std::nullopt;
    std::string result(found);
    // Wipes the copy libsecret made.
    secret_password_free(found);
    return result;
}

bool HVSecretStore::setPassword(const HVSecretStoreKey& key, std::string_view password,
                                HVError* error) {
    std::lock_guard lock(storeMutex());
    std::string portText = std::to_string(key.port);
    std::string label = "Halvet: " + key.user + "@" + key.host + " (" +
                        std::string(HVRemoteProtocolName(key.protocol)) + ")";
    // libsecret wants a terminated string; this copy is wiped once stored.
    std::string secret(password);
    GHashTable* attributes = attributesOf(key, portText);
    GError* failure = nullptr;
    gboolean stored =
        secret_password_storev_sync(remoteSchema(), attributes, SECRET_COLLECTION_DEFAULT,
                                    label.c_str(), secret.c_str(), nullptr, &failure);
    g_hash_table_unref(attributes);
    explicit_bzero(secret.data(), secret.size());
    if (!stored || failure) {
        if (!failure)
            g_set_error_literal(&failure, SECRET_ERROR, SECRET_ERROR_PROTOCOL,
                                "the password was not stored");
        HVSetError(error, storeError(failure));
        return false;
    }
    return true;
}

bool HVSecretStore::removePassword(const HVSecretStoreKey& key, HVError* error) {
    std::lock_guard lock(storeMutex());
    std::string portText = std::to_string(key.port);
    GHashTable* attributes = attributesOf(key, portText);
    GError* failure = nullptr;
    secret_password_clearv_sync(remoteSchema(), attributes, nullptr, &failure);
    g_hash_table_unref(attributes);
    if (failure) {
        HVSetError(error, storeError(failure));
        return false;
    }
    return true;
}
