#pragma once

#include "HVError.h"
#include "HVPlistValue.h"
#include "HVProjectRemoteConfiguration.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class HVProjectDelegate;
class HVRemoteFilesQueue;
class HVRootFile;

// A site: a display name and a local root directory, optionally tied to a server. It keeps
// project settings and per-file settings, saves itself as a property-list project file
// (".hvproj", in the shared support folder and in the root directory), and owns the remote
// queue of its connection. Main thread only. Made from paths only by HVProjectRepository,
// so that one root directory has one project.
class HVProject {
public:
    enum Type : std::int32_t { Local = 0, Remote = 1, Combo = 2 };

    HVProject();
    // A save still waiting is done now rather than lost.
    ~HVProject();
    HVProject(const HVProject&) = delete;
    HVProject& operator=(const HVProject&) = delete;

    static std::shared_ptr<HVProject> initWithProjectFile(const std::string& path);
    static std::shared_ptr<HVProject> initWithRootDirectory(const std::string& path);
    static std::shared_ptr<HVProject> initWithRootDirectory(const std::string& path,
                                                            const std::string& displayName);
    // An entry of the oldest registry: "DisplayName", "RootDirectory", "HasRemoteEquivalent".
    static std::shared_ptr<HVProject>
    initWithRepositoryRepresentation(const HVPlistValue::Dictionary& entry);

    // Reads the first project file that exists and is a dictionary, once. A file that exists
    // but cannot be read is kept as it is: no save ever overwrites it.
    bool loadIfNecessary();
    // Problems are recorded in loadingProblems(), each naming the key.
    void loadFromPlistRepresentation(const HVPlistValue::Dictionary& plist,
                                     const std::string& source = {});
    HVPlistValue::Dictionary plistRepresentation();
    // Saves 0.5 s after the last change (now = false) or at once. The answer of a save at once
    // is whether the first project file was written; a deferred one answers true.
    bool commit(bool now, HVError* error = nullptr);
    bool isLoaded() const { return m_loaded; }
    bool isLoading() const { return m_loading; }
    bool hasPendingSave() const { return m_pendingSave.has_value(); }
    // What was wrong with the project files read: unreadable files, values of the wrong type,
    // missing keys.
    const std::vector<HVError>& loadingProblems() const { return m_loadingProblems; }
    // The shared file and the one in the root directory, in the order the preference
    // "HVUseSharedProjectLocation" gives.
    std::vector<std::string> projectFilePaths() const;
    std::string sharedProjectFilePath() const;
    std::optional<std::string> localProjectFilePath() const;

    const std::string& displayName() const { return m_displayName; }
    void setDisplayName(std::string name);
    const std::string& originalDisplayName() const { return m_originalDisplayName; }
    const std::string& rootDirectory() const { return m_rootDirectory; }
    void setRootDirectory(std::string path);
    std::int32_t type() const { return m_type; }
    // Tells the tree whether it shows the server's side only.
    void setType(std::int32_t type);
    // Made on first request; the registry is told, as it saves uuids.
    const std::string& uuid() const;
    void setUUID(std::string uuid);
    bool isOpen() const { return m_open; }
    void setIsOpen(bool open) { m_open = open; }

    std::optional<HVPlistValue> configurationValueForKey(std::string_view key) const;
    // Absent or not a boolean reads false.
    bool boolConfigurationValueForKey(std::string_view key) const;
    const HVPlistValue::Dictionary& allConfigurationValues() const { return m_configuration; }
    // A none value or an empty key is ignored. Saves later, except for "HVOpenFiles".
    void setConfigurationValue(HVPlistValue value, const std::string& key);
    void setBoolConfigurationValue(bool value, const std::string& key);
    // No save.
    void setAllConfigurationValues(std::optional<HVPlistValue::Dictionary> values);
    // Per-file settings by the path from the root; an empty key gives the file's whole map.
    std::optional<HVPlistValue> configurationValueForKey(std::string_view key,
                                                         const std::string& file) const;
    // A none value removes the key; an empty key replaces the file's whole map (a none value
    // removes it). Saves later.
    void setConfigurationValue(HVPlistValue value, const std::string& key, const std::string& file);
    // Every file's settings, keyed by the path from the root.
    const HVPlistValue::Dictionary& allFileConfigurations() const { return m_fileConfiguration; }

    HVProjectRemoteConfiguration& remoteConfig() { return m_remoteConfig; }
    const HVProjectRemoteConfiguration& remoteConfig() const { return m_remoteConfig; }
    void setRemoteConfig(const HVProjectRemoteConfiguration& config) { m_remoteConfig = config; }
    bool hasRemoteEquivalent() const;
    void setHasRemoteEquivalent(bool value) { m_hasRemoteEquivalent = value; }

    // Idle or busy: logged in.
    bool hasRemoteConnection() const;
    // Replaces any queue by a new one for the configuration's server.
    void connectToRemoteSite();
    void closeRemoteConnection();
    std::shared_ptr<HVRemoteFilesQueue> remoteQueue() const { return m_remoteQueue; }
    // The file tree, made on first request while the project is open; none while closed.
    std::shared_ptr<HVRootFile> rootFile();
    // Closed, without delegate and connection.
    void close();

    void setDelegate(std::weak_ptr<HVProjectDelegate> delegate);
    // Only when it is the current delegate.
    void clearDelegate(const HVProjectDelegate* delegate);
    std::shared_ptr<HVProjectDelegate> delegate() const { return m_delegate.lock(); }

    // Display names ignoring case: negative, zero or positive.
    int compare(const HVProject& other) const;
    bool isEqual(const HVProject& other) const;

    // The local cache of a remote-only project: "~/Sites/Halvet/<Name>", or a free directory
    // inside it when another project has that one. None when it cannot be created.
    static std::optional<std::string> projectDirectoryForProject(const HVProject& project);

private:
    class QueueListener;
    friend class QueueListener;
    // The registry gives back a stored uuid, which is no change to save.
    friend class HVProjectRepository;

    void setDefaults();
    // Applies the file, or records why it could not be read.
    bool readProjectFile(const std::string& path);
    void scheduleSave();
    bool save(HVError* error);
    void detachQueue();
    // Hands the connection's queue to whatever works through it (none after a failure).
    void queueDidChange(const std::shared_ptr<HVRemoteFilesQueue>& queue);
    void connectionOpened();
    void queueHadFatalFailure();
    void queueHadCredentialsFailure();
    void queueClosedConnection();
    void queueHadError(const HVError& error);
    void queueSetStatus(const std::string& status, bool animate);
    void applyLocalMetadata(const HVPlistValue::Dictionary& plist);

    std::string m_displayName;
    std::string m_originalDisplayName;
    std::string m_rootDirectory;
    std::int32_t m_type = Local;
    mutable std::string m_uuid;
    HVProjectRemoteConfiguration m_remoteConfig;
    HVPlistValue::Dictionary m_configuration;
    HVPlistValue::Dictionary m_fileConfiguration;
    bool m_hasRemoteEquivalent = false;
    bool m_open = false;
    bool m_loaded = false;
    bool m_loading = false;
    std::vector<HVError> m_loadingProblems;
    // Project files that exist but could not be read: kept for the user to repair.
    std::set<std::string> m_unreadableFiles;
    // The dispatcher task of the deferred save.
    std::optional<std::uint64_t> m_pendingSave;
    std::shared_ptr<HVRemoteFilesQueue> m_remoteQueue;
    std::shared_ptr<HVRootFile> m_rootFile;
    // Hears the queue on its thread; the queue holds it weakly. One per connection, so that a
    // replaced queue's late news is dropped.
    std::shared_ptr<QueueListener> m_queueListener;
    std::weak_ptr<HVProjectDelegate> m_delegate;
};
