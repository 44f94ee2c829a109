#include "HVProjectRemoteConfiguration.h"

#include <charconv>
#include <syslog.h>

namespace {

void logStoreFailure(const char* what, const HVError& error) {
    syslog(LOG_WARNING, "Halvet: %s: %s", what, error.fullDescription().c_str());
}

// Reads an optional string field; a value of another type is a problem and leaves none.
std::optional<std::string> stringField(const HVPlistValue::Dictionary& plist, const char* key,
                                       std::vector<HVError>* problems) {
    auto found = plist.find(key);
    if (found == plist.end())
        return std::nullopt;
    if (const std::string* text = found->second.string())
        return *text;
    if (problems)
        problems->push_back(
            HVProjectFileProblem(std::string("remote-metadata.") + key, "a string", "nothing"));
    return std::nullopt;
}

} // namespace

HVError HVProjectFileProblem(std::string key, std::string_view expected, std::string_view used) {
    std::string description = "The project file's value for \"" + key + "\" is not ";
    description += expected;
    description += "; ";
    description += used;
    description += " is used instead.";
    HVError error(HVErrorDomain, HVProjectFileProblemError, std::move(description),
                  "Check the project's settings and save them again.");
    error.setUserInfoValue(HVProjectFileKeyErrorKey, std::move(key));
    return error;
}

int HVProjectRemoteConfiguration::portNumber() const {
    if (!m_port)
        return 0;
    if (auto number = m_port->integerValue(); number && !m_port->isBoolean())
        return *number > 0 && *number < 65536 ? int(*number) : 0;
    if (const std::string* text = m_port->string()) {
        int value = 0;
        auto [end, failure] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (failure == std::errc() && end == text->data() + text->size() && value > 0 &&
            value < 65536)
            return value;
    }
    return 0;
}

std::optional<HVRemoteProtocol> HVProjectRemoteConfiguration::remoteProtocol() const {
    if (m_protocol < 0 || m_protocol > 2)
        return std::nullopt;
    return HVRemoteProtocol(m_protocol);
}

HVSecretStoreKey HVProjectRemoteConfiguration::secretStoreKey() const {
    HVSecretStoreKey key;
    key.host = m_host.value_or("");
    key.user = m_user.value_or("");
    key.protocol = remoteProtocol().value_or(HVRemoteProtocol::FTP);
    key.port = portNumber();
    return key;
}

std::optional<std::string> HVProjectRemoteConfiguration::password(HVError* error) {
    const bool held = m_password && !m_password->empty();
    if (held || !m_useKeychain || !hasHost() || !m_user || m_user->empty())
        return m_password;
    HVError failure;
    auto stored = HVSecretStore::sharedInstance().password(secretStoreKey(), &failure);
    if (stored) {
        m_password = std::move(stored);
        return m_password;
    }
    if (!failure.description().empty()) {
        logStoreFailure("reading a server password failed", failure);
        HVSetError(error, std::move(failure));
    }
    return m_password;
}

void HVProjectRemoteConfiguration::setPassword(std::optional<std::string> password) {
    const bool storedEmpty = !m_password || m_password->empty();
    m_passwordChanged = storedEmpty || password != m_password;
    m_password = std::move(password);
}

void HVProjectRemoteConfiguration::loadFromPlist(const HVPlistValue::Dictionary& plist,
                                                 std::vector<HVError>* problems) {
    m_host = stringField(plist, "host", problems);
    m_user = stringField(plist, "user", problems);
    m_initialDirectory = stringField(plist, "initial-directory", problems);

    m_options.reset();
    if (auto found = plist.find("options"); found != plist.end()) {
        if (const auto* options = found->second.dictionary())
            m_options = *options;
        else if (problems)
            problems->push_back(
                HVProjectFileProblem("remote-metadata.options", "a dictionary", "no options"));
    }

    m_protocol = 0;
    if (auto found = plist.find("protocol"); found != plist.end()) {
        if (const std::int64_t* number = found->second.integer();
            number && *number >= INT32_MIN && *number <= INT32_MAX)
            m_protocol = int(*number);
        else if (problems)
            problems->push_back(
                HVProjectFileProblem("remote-metadata.protocol", "an integer", "FTP (0)"));
    }

    m_port.reset();
    if (auto found = plist.find("port"); found != plist.end()) {
        const HVPlistValue& port = found->second;
        if (port.isInteger() || port.isReal() || port.isString())
            m_port = port;
        else if (problems)
            problems->push_back(
                HVProjectFileProblem("remote-metadata.port", "a number or a string", "no port"));
    }

    m_useKeychain = false;
    if (auto found = plist.find("use-keychain"); found != plist.end()) {
        if (const bool* use = found->second.boolean())
            m_useKeychain = *use;
        else if (problems)
            problems->push_back(
                HVProjectFileProblem("remote-metadata.use-keychain", "a boolean", "false"));
    }
}

HVPlistValue::Dictionary HVProjectRemoteConfiguration::plistRepresentation() const {
    HVPlistValue::Dictionary plist;
    if (!hasHost())
        return plist;
    plist["host"] = *m_host;
    plist["protocol"] = m_protocol;
    plist["use-keychain"] = m_useKeychain;
    if (m_user)
        plist["user"] = *m_user;
    if (m_initialDirectory)
        plist["initial-directory"] = *m_initialDirectory;
    if (m_options)
        plist["options"] = *m_options;
    if (m_port)
        plist["port"] = *m_port;
    return plist;
}

void HVProjectRemoteConfiguration::mergeValuesFromConfiguration(
    const HVProjectRemoteConfiguration& other) {
    if (m_password && !m_password->empty())
        return;
    m_password = other.m_password;
    m_passwordChanged = other.m_passwordChanged;
}

void HVProjectRemoteConfiguration::setFromPreset(const HVProjectRemoteConfiguration& preset) {
    *this = preset;
}

void HVProjectRemoteConfiguration::setFromPreset(const HVPlistValue::Dictionary& recentHost) {
    const HVPlistValue entry(recentHost);
    auto text = [&](const char* key) -> std::optional<std::string> {
        if (const std::string* value = entry.stringForKey(key))
            return *value;
        return std::nullopt;
    };
    m_host = text("HVRecentRemoteHost");
    m_user = text("HVRecentRemoteUser");
    m_port.reset();
    if (const HVPlistValue* port = entry.objectForKey("HVRecentRemotePort"))
        m_port = *port;
    m_protocol = int(entry.integerForKey("HVRecentRemoteProtocol").value_or(0));
    m_password.reset();
    m_passwordChanged = false;
    m_initialDirectory.reset();
    m_options.reset();
}

std::vector<std::string> HVProjectRemoteConfiguration::arguments() const {
    std::vector<std::string> result;
    if (!m_options)
        return result;
    for (const auto& [key, value] : *m_options) {
        if (key == "other") {
            const std::string words = value.stringValue().value_or("");
            std::size_t start = 0;
            while (start <= words.size()) {
                std::size_t blank = words.find(' ', start);
                if (blank == std::string::npos)
                    blank = words.size();
                // Doubled blanks would give empty arguments, which the clients take as names.
                if (blank > start)
                    result.push_back(words.substr(start, blank - start));
                start = blank + 1;
            }
            continue;
        }
        if (value.isNumber() && value.boolValue().value_or(false)) {
            result.push_back("-" + key);
            continue;
        }
        std::string text;
        if (const std::string* string = value.string())
            text = *string;
        else if (value.isBoolean() || value.isInteger())
            text = std::to_string(value.integerValue().value_or(0));
        else if (value.isReal())
            text = *value.real() == 0 ? "0" : std::to_string(*value.real());
        result.push_back("-" + key + "=\"" + text + "\"");
    }
    return result;
}

std::string HVProjectRemoteConfiguration::protocolDescription() const {
    switch (m_protocol) {
    case 0:
        return "ftp";
    case 1:
        return "sftp";
    case 2:
        return "webdav";
    default:
        return "remote";
    }
}

bool HVProjectRemoteConfiguration::commit(HVError* error) {
    if (!m_passwordChanged || !m_useKeychain || !m_password || m_password->empty() || !hasHost() ||
        !m_user || m_user->empty())
        return true;
    HVError failure;
    if (!HVSecretStore::sharedInstance().setPassword(secretStoreKey(), *m_password, &failure)) {
        logStoreFailure("storing a server password failed", failure);
        HVSetError(error, std::move(failure));
        return false;
    }
    m_passwordChanged = false;
    return true;
}

bool HVProjectRemoteConfiguration::isEqual(const HVProjectRemoteConfiguration& other) const {
    if (m_host != other.m_host || m_user != other.m_user ||
        m_initialDirectory != other.m_initialDirectory || m_options != other.m_options ||
        m_port != other.m_port)
        return false;
    if (m_password && !m_password->empty())
        return m_password == other.m_password;
    return true;
}
