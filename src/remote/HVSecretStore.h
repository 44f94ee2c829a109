#pragma once

#include "HVRemoteProtocol.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class HVError;

// The store is missing or locked, or refused a request (HVErrorDomain).
inline constexpr std::int64_t HVSecretStoreError = 30;

// What a server password is filed under.
struct HVSecretStoreKey {
    std::string host;
    std::string user;
    HVRemoteProtocol protocol = HVRemoteProtocol::FTP;
    int port = 0;
};

// Server passwords in the desktop's password store (the Secret Service, through libsecret).
// There is no other place: when the store cannot be used, nothing is stored.
class HVSecretStore {
public:
    static HVSecretStore& sharedInstance();

    // None without an error: nothing stored. None with an error: the store is missing or
    // locked; the error says which.
    std::optional<std::string> password(const HVSecretStoreKey& key, HVError* error = nullptr);
    // Replaces a password stored under the same key.
    bool setPassword(const HVSecretStoreKey& key, std::string_view password,
                     HVError* error = nullptr);
    // True also when nothing was stored.
    bool removePassword(const HVSecretStoreKey& key, HVError* error = nullptr);

private:
    HVSecretStore() = default;
};
