#pragma once

#include "HVPlistValue.h"
#include "HVRemoteProtocol.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class HVError;
class HVProject;
class HVProjectRemoteConfiguration;

// Where a preset's remote details come from: a host the user connected to lately, or another
// project's server.
struct HVProjectSettingsPreset {
    std::string title;
    // An entry of "HVRecentRemoteHosts"; none for a project preset.
    HVPlistValue::Dictionary recentHost;
    std::shared_ptr<HVProject> project;
};

// What the project-settings editor edits, without any widget: the values of a new or an
// existing project, checked as they are typed, and written to the project on confirmation.
// A widget shows these values and hands every edit back; it decides nothing itself.
class HVProjectSettings {
public:
    // A new project: a local folder, connecting automatically and uploading after saving.
    HVProjectSettings();
    // The project's current values.
    explicit HVProjectSettings(std::shared_ptr<HVProject> project);
    ~HVProjectSettings();

    bool isNewProject() const { return m_isNew; }
    const std::shared_ptr<HVProject>& project() const { return m_project; }

    // Kind, local directory and remote details change only while the project is not open;
    // their setters do nothing otherwise.
    bool canChangeLocation() const;

    // HVProject::Local, Remote or Combo.
    std::int32_t kind() const { return m_kind; }
    void setKind(std::int32_t kind);
    bool hasLocalDirectory() const;
    bool hasRemoteSite() const;

    const std::string& displayName() const { return m_displayName; }
    void setDisplayName(std::string name) { m_displayName = std::move(name); }
    const std::string& localDirectory() const { return m_localDirectory; }
    void setLocalDirectory(std::string directory);

    HVRemoteProtocol protocol() const { return m_protocol; }
    void setProtocol(HVRemoteProtocol protocol);
    const std::string& host() const { return m_host; }
    void setHost(std::string host);
    // As typed; stored as a number when it is one.
    const std::string& port() const { return m_port; }
    void setPort(std::string port);
    const std::string& user() const { return m_user; }
    void setUser(std::string user);
    const std::string& password() const { return m_password; }
    void setPassword(std::string password);
    const std::string& initialDirectory() const { return m_initialDirectory; }
    void setInitialDirectory(std::string directory);

    // Options of the transfer program. FTP: passive mode off ("A"). SFTP: the identity file
    // ("oIdentityFile"). Any protocol: more arguments, separated by blanks ("other").
    bool passiveModeOff() const { return m_passiveModeOff; }
    void setPassiveModeOff(bool off);
    const std::string& identityFile() const { return m_identityFile; }
    void setIdentityFile(std::string path);
    const std::string& otherOptions() const { return m_otherOptions; }
    void setOtherOptions(std::string options);
    // The options map the remote configuration gets: only the current protocol's options.
    HVPlistValue::Dictionary options() const;

    bool uploadAutomatically() const { return m_uploadAutomatically; }
    void setUploadAutomatically(bool upload) { m_uploadAutomatically = upload; }
    bool connectAutomatically() const { return m_connectAutomatically; }
    void setConnectAutomatically(bool connect) { m_connectAutomatically = connect; }
    const std::string& remotePreviewURL() const { return m_remotePreviewURL; }
    void setRemotePreviewURL(std::string url) { m_remotePreviewURL = std::move(url); }

    // "Local directory is blank and remote host is blank"; empty when the values may be
    // confirmed.
    std::string warning() const;
    bool isValid() const { return warning().empty(); }

    // Recent hosts first (newest first), then the servers of the other registered projects.
    std::vector<HVProjectSettingsPreset> presets() const;
    // A project preset copies all its remote details; a recent host sets host, user, port and
    // protocol and clears password, initial directory and options. Ignored while the project
    // is open.
    void setFromPreset(const HVProjectSettingsPreset& preset);

    // Writes the values to the project (making it, for a new one), saves it at once, and
    // posts "HVProjectCreatedNotification" or "HVProjectEditedNotification" with the project.
    // False when refused (a warning, no folder for a remote site's files). True once applied;
    // a save or secret store that failed then leaves its error in error. The project to open
    // is then project()->rootDirectory().
    bool confirm(HVError* error = nullptr);

private:
    void takeRemoteConfiguration(HVProjectRemoteConfiguration& remote);

    std::shared_ptr<HVProject> m_project;
    bool m_isNew = true;
    std::int32_t m_kind = 0;
    std::string m_displayName;
    std::string m_localDirectory;
    HVRemoteProtocol m_protocol = HVRemoteProtocol::FTP;
    std::string m_host;
    std::string m_port;
    std::string m_user;
    std::string m_password;
    std::string m_initialDirectory;
    bool m_passiveModeOff = false;
    std::string m_identityFile;
    std::string m_otherOptions;
    bool m_uploadAutomatically = true;
    bool m_connectAutomatically = true;
    std::string m_remotePreviewURL;
};
