#pragma once

#include "HVError.h"
#include "HVPlistValue.h"
#include "HVSecretStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A project file's value was of the wrong type or missing; the default took its place. The
// user-info entry HVProjectFileKeyErrorKey names the key ("remote-metadata.port").
inline constexpr std::int64_t HVProjectFileProblemError = 31;
inline constexpr std::string_view HVProjectFileKeyErrorKey = "HVProjectFileKey";
// The record of such a problem: what the value should have been, and what was used instead.
HVError HVProjectFileProblem(std::string key, std::string_view expected, std::string_view used);

// Where and how a project reaches its server. A value: copying copies every field. The
// password never goes into a project file; it lives in the secret store, filed under host,
// user, protocol and port.
class HVProjectRemoteConfiguration {
public:
    const std::optional<std::string>& host() const { return m_host; }
    void setHost(std::optional<std::string> host) { m_host = std::move(host); }
    // A project without a host has no remote side.
    bool hasHost() const { return m_host && !m_host->empty(); }
    const std::optional<std::string>& user() const { return m_user; }
    void setUser(std::optional<std::string> user) { m_user = std::move(user); }
    const std::optional<std::string>& initialDirectory() const { return m_initialDirectory; }
    void setInitialDirectory(std::optional<std::string> directory) {
        m_initialDirectory = std::move(directory);
    }
    const std::optional<HVPlistValue::Dictionary>& options() const { return m_options; }
    void setOptions(std::optional<HVPlistValue::Dictionary> options) {
        m_options = std::move(options);
    }
    // A number or a string, as the project file stored it.
    const std::optional<HVPlistValue>& port() const { return m_port; }
    void setPort(std::optional<HVPlistValue> port) { m_port = std::move(port); }
    // The port as the client gets it: 0 when absent or not a number.
    int portNumber() const;
    // 0 FTP, 1 SFTP, 2 WebDAV; other values are kept but cannot connect.
    int protocol() const { return m_protocol; }
    void setProtocol(int protocol) { m_protocol = protocol; }
    std::optional<HVRemoteProtocol> remoteProtocol() const;
    bool useKeychain() const { return m_useKeychain; }
    void setUseKeychain(bool use) { m_useKeychain = use; }

    // The password, asked of the secret store when none is held, use-keychain is on and host
    // and user are set; a password found there is kept without counting as changed. A store
    // failure is logged and returned through error; the answer is then none.
    std::optional<std::string> password(HVError* error = nullptr);
    // The password held now, without asking the store.
    const std::optional<std::string>& heldPassword() const { return m_password; }
    void setPassword(std::optional<std::string> password);
    bool passwordChanged() const { return m_passwordChanged; }

    // The "remote-metadata" dictionary. Problems name the key (prefixed by "remote-metadata.")
    // and leave the field at its default.
    void loadFromPlist(const HVPlistValue::Dictionary& plist,
                       std::vector<HVError>* problems = nullptr);
    HVPlistValue::Dictionary plistRepresentation() const;

    // Takes the other's password when this one has none.
    void mergeValuesFromConfiguration(const HVProjectRemoteConfiguration& other);
    // Another project's configuration: every field.
    void setFromPreset(const HVProjectRemoteConfiguration& preset);
    // An entry of "HVRecentRemoteHosts": host, user, port and protocol; no password, initial
    // directory or options.
    void setFromPreset(const HVPlistValue::Dictionary& recentHost);

    // The client's extra arguments from the options, in the options' key order.
    std::vector<std::string> arguments() const;
    // "ftp", "sftp", "webdav", else "remote".
    std::string protocolDescription() const;

    // Stores a changed password in the secret store when use-keychain is on and password,
    // host and user are set. False with an error record when the store refused; logged too.
    bool commit(HVError* error = nullptr);
    HVSecretStoreKey secretStoreKey() const;

    // Host, user, initial directory, options and port by value; the password only when this
    // one holds one. Protocol and use-keychain are not compared.
    bool isEqual(const HVProjectRemoteConfiguration& other) const;

private:
    std::optional<std::string> m_host;
    std::optional<std::string> m_user;
    std::optional<std::string> m_password;
    std::optional<std::string> m_initialDirectory;
    std::optional<HVPlistValue::Dictionary> m_options;
    std::optional<HVPlistValue> m_port;
    int m_protocol = 0;
    bool m_useKeychain = true;
    bool m_passwordChanged = false;
};
