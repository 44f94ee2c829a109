#include "HVProjectSettings.h"

#include "HVError.h"
#include "HVFileSystem.h"
#include "HVLocalization.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVProject.h"
#include "HVProjectRemoteConfiguration.h"
#include "HVProjectRepository.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr const char* passiveModeOffOption = "A";
constexpr const char* identityFileOption = "oIdentityFile";
constexpr const char* otherOptionsOption = "other";

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return c == ' ' || c == '\t' || c == '\n'; });
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

std::string expandingTilde(const std::string& path) {
    if (path == "~" || path.starts_with("~/"))
        return HVFileSystem::homeDirectory() + path.substr(1);
    return path;
}

// A port typed as digits is stored as a number, anything else as typed.
HVPlistValue portValue(const std::string& typed) {
    const std::string port = trimmed(typed);
    if (port.empty())
        return {};
    std::int64_t number = 0;
    auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error == std::errc() && end == port.data() + port.size())
        return HVPlistValue(number);
    return HVPlistValue(port);
}

std::string portText(const HVPlistValue& port) {
    if (const auto* number = port.integer())
        return *number > 0 ? std::to_string(*number) : std::string();
    if (const auto* text = port.string())
        return *text;
    return {};
}

} // namespace

HVProjectSettings::HVProjectSettings() = default;

HVProjectSettings::HVProjectSettings(std::shared_ptr<HVProject> project)
    : m_project(std::move(project)), m_isNew(!m_project) {
    if (!m_project)
        return;
    m_kind = m_project->type();
    m_displayName = m_project->displayName();
    if (m_kind != HVProject::Remote)
        m_localDirectory = m_project->rootDirectory();
    takeRemoteConfiguration(m_project->remoteConfig());
    const auto url = m_project->configurationValueForKey("HVRemotePreviewURL");
    m_remotePreviewURL = url ? url->stringValue().value_or("") : "";
    m_uploadAutomatically = m_project->boolConfigurationValueForKey("HVUploadAutomaticallyKey");
    m_connectAutomatically = m_project->boolConfigurationValueForKey("HVConnectAutomaticallyKey");
}

HVProjectSettings::~HVProjectSettings() = default;

void HVProjectSettings::takeRemoteConfiguration(HVProjectRemoteConfiguration& remote) {
    m_protocol = remote.remoteProtocol().value_or(HVRemoteProtocol::FTP);
    m_host = remote.host().value_or("");
    m_port = remote.port() ? portText(*remote.port()) : "";
    m_user = remote.user().value_or("");
    // A stored password shows as dots, so that the user sees that there is one.
    m_password = remote.password().value_or("");
    m_initialDirectory = remote.initialDirectory().value_or("");
    const HVPlistValue options(remote.options().value_or(HVPlistValue::Dictionary{}));
    m_passiveModeOff = options.boolForKey(passiveModeOffOption).value_or(false);
    if (const auto* value = options.objectForKey(passiveModeOffOption); value && value->integer())
        m_passiveModeOff = *value->integer() != 0;
    const auto* identity = options.stringForKey(identityFileOption);
    m_identityFile = identity ? *identity : "";
    const auto* other = options.stringForKey(otherOptionsOption);
    m_otherOptions = other ? *other : "";
}

bool HVProjectSettings::canChangeLocation() const {
    return !m_project || !m_project->isOpen();
}

void HVProjectSettings::setKind(std::int32_t kind) {
    if (canChangeLocation() && kind >= HVProject::Local && kind <= HVProject::Combo)
        m_kind = kind;
}

bool HVProjectSettings::hasLocalDirectory() const {
    return m_kind != HVProject::Remote;
}

bool HVProjectSettings::hasRemoteSite() const {
    return m_kind != HVProject::Local;
}

void HVProjectSettings::setLocalDirectory(std::string directory) {
    if (canChangeLocation())
        m_localDirectory = std::move(directory);
}

void HVProjectSettings::setProtocol(HVRemoteProtocol protocol) {
    if (canChangeLocation())
        m_protocol = protocol;
}

void HVProjectSettings::setHost(std::string host) {
    if (canChangeLocation())
        m_host = std::move(host);
}

void HVProjectSettings::setPort(std::string port) {
    if (canChangeLocation())
        m_port = std::move(port);
}

void HVProjectSettings::setUser(std::string user) {
    if (canChangeLocation())
        m_user = std::move(user);
}

void HVProjectSettings::setPassword(std::string password) {
    if (canChangeLocation())
        m_password = std::move(password);
}

void HVProjectSettings::setInitialDirectory(std::string directory) {
    if (canChangeLocation())
        m_initialDirectory = std::move(directory);
}

void HVProjectSettings::setPassiveModeOff(bool off) {
    if (canChangeLocation())
        m_passiveModeOff = off;
}

void HVProjectSettings::setIdentityFile(std::string path) {
    if (canChangeLocation())
        m_identityFile = std::move(path);
}

void HVProjectSettings::setOtherOptions(std::string options) {
    if (canChangeLocation())
        m_otherOptions = std::move(options);
}

HVPlistValue::Dictionary HVProjectSettings::options() const {
    HVPlistValue::Dictionary options;
    if (m_protocol == HVRemoteProtocol::FTP && m_passiveModeOff)
        options[passiveModeOffOption] = true;
    if (m_protocol == HVRemoteProtocol::SFTP && !isBlank(m_identityFile))
        options[identityFileOption] = expandingTilde(trimmed(m_identityFile));
    if (!isBlank(m_otherOptions))
        options[otherOptionsOption] = trimmed(m_otherOptions);
    return options;
}

std::string HVProjectSettings::warning() const {
    std::string warning;
    if (hasLocalDirectory() && isBlank(m_localDirectory))
        warning = HVLocalization::localizedString("local directory is blank");
    if (hasRemoteSite() && isBlank(m_host)) {
        if (!warning.empty())
            warning += HVLocalization::localizedString(" and ");
        warning += HVLocalization::localizedString("remote host is blank");
    }
    if (!warning.empty() && warning[0] >= 'a' && warning[0] <= 'z')
        warning[0] = char(warning[0] - 'a' + 'A');
    return warning;
}

std::vector<HVProjectSettingsPreset> HVProjectSettings::presets() const {
    std::vector<HVProjectSettingsPreset> presets;
    const auto hosts = HVPreferences::sharedInstance().arrayForKey("HVRecentRemoteHosts");
    for (const HVPlistValue& entry : hosts.value_or(HVPlistValue::Array{})) {
        const auto* host = entry.stringForKey("HVRecentRemoteHost");
        if (!host || host->empty() || !entry.dictionary())
            continue;
        HVProjectSettingsPreset preset;
        const auto* user = entry.stringForKey("HVRecentRemoteUser");
        preset.title = user && !user->empty() ? *user + "@" + *host : *host;
        preset.recentHost = *entry.dictionary();
        presets.push_back(std::move(preset));
    }
    for (const auto& project : HVProjectRepository::sharedInstance().remoteProjects()) {
        if (!project || project == m_project || !project->remoteConfig().hasHost())
            continue;
        HVProjectSettingsPreset preset;
        preset.title = project->displayName();
        preset.project = project;
        presets.push_back(std::move(preset));
    }
    return presets;
}

void HVProjectSettings::setFromPreset(const HVProjectSettingsPreset& preset) {
    if (!canChangeLocation())
        return;
    HVProjectRemoteConfiguration remote;
    if (preset.project) {
        // Asked now, so that a password kept only in the secret store comes along.
        preset.project->remoteConfig().password();
        remote.setFromPreset(preset.project->remoteConfig());
    } else {
        remote.setFromPreset(preset.recentHost);
    }
    takeRemoteConfiguration(remote);
}

bool HVProjectSettings::confirm(HVError* error) {
    if (!isValid()) {
        HVSetError(error, HVError(HVErrorDomain, 0, warning()));
        return false;
    }
    if (!m_project)
        m_project = std::make_shared<HVProject>();
    HVProject& project = *m_project;
    const bool location = canChangeLocation();
    if (location)
        project.setType(m_kind);
    if (!isBlank(m_displayName))
        project.setDisplayName(trimmed(m_displayName));

    if (location) {
        HVProjectRemoteConfiguration remote = project.remoteConfig();
        if (hasRemoteSite()) {
            auto text = [](const std::string& value) -> std::optional<std::string> {
                std::string t = trimmed(value);
                return t.empty() ? std::nullopt : std::optional(t);
            };
            remote.setProtocol(int(m_protocol));
            remote.setHost(text(m_host));
            const HVPlistValue port = portValue(m_port);
            remote.setPort(port.isNone() ? std::nullopt : std::optional(port));
            remote.setUser(text(m_user));
            // An empty field keeps what the secret store has rather than blanking it.
            if (!m_password.empty())
                remote.setPassword(m_password);
            remote.setInitialDirectory(text(m_initialDirectory));
            HVPlistValue::Dictionary chosen = options();
            remote.setOptions(chosen.empty() ? std::nullopt : std::optional(chosen));
        } else {
            // A local folder has no server; a host left behind would make it look like a site.
            remote = HVProjectRemoteConfiguration();
        }
        project.setRemoteConfig(remote);

        if (m_kind == HVProject::Remote) {
            auto directory = HVProject::projectDirectoryForProject(project);
            if (!directory) {
                HVSetError(error, HVError(HVErrorDomain, 0,
                                          HVLocalization::localizedString(
                                              "The folder for the site's files could not be made."),
                                          HVLocalization::localizedString(
                                              "Check that ~/Sites/Halvet can be written.")));
                return false;
            }
            // The password of a project already kept there serves this one too.
            if (auto registered =
                    HVProjectRepository::sharedInstance().copyProjectWithPath(*directory, false)) {
                registered->remoteConfig().password();
                project.remoteConfig().mergeValuesFromConfiguration(registered->remoteConfig());
            }
            project.setRootDirectory(*directory);
        } else {
            project.setRootDirectory(expandingTilde(trimmed(m_localDirectory)));
        }
    }

    HVPlistValue::Dictionary values = project.allConfigurationValues();
    values["HVRemotePreviewURL"] = trimmed(m_remotePreviewURL);
    values["HVConnectAutomaticallyKey"] = m_connectAutomatically;
    values["HVUploadAutomaticallyKey"] = m_uploadAutomatically;
    project.setAllConfigurationValues(values);
    // The save also hands a changed password to the secret store.
    project.commit(true, error);

    const bool created = m_isNew;
    // Confirming again edits the project that now exists.
    m_isNew = false;
    // Registered before anyone hears of it, so that opening its root directory finds this
    // project rather than making a second one without these settings.
    if (created)
        HVProjectRepository::sharedInstance().addProject(m_project);
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(created ? HVProjectCreatedNotification : HVProjectEditedNotification),
        m_project.get());
    return true;
}
