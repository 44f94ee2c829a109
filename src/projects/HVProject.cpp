#include "HVProject.h"

#include "Defaults.h"
#include "HVCaseInsensitive.h"
#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVLocalization.h"
#include "HVProjectDelegate.h"
#include "HVProjectRepository.h"
#include "HVPropertyList.h"
#include "HVRemoteFilesQueue.h"
#include "HVRootFile.h"
#include "HVUUID.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <syslog.h>

namespace {

constexpr double kSaveDelay = 0.5;
constexpr std::string_view kOpenFilesKey = "HVOpenFiles";
constexpr std::string_view kProjectExtension = "hvproj";

// "my site" becomes "MySite": the cache directory's name has no blanks.
std::string joinedWords(const std::string& name) {
    if (name.find(' ') == std::string::npos)
        return name;
    std::string joined;
    bool startOfPiece = true;
    for (char c : name) {
        if (c == ' ') {
            startOfPiece = true;
            continue;
        }
        joined += (startOfPiece && c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        startOfPiece = false;
    }
    return joined;
}

} // namespace

// Hears the queue on the queue's thread and hands every event to the main thread, where the
// project (if it still holds this listener) reacts.
class HVProject::QueueListener : public HVRemoteFilesQueueDelegate {
public:
    explicit QueueListener(HVProject* project) : m_project(project) {}

    // Main thread only: the project lets the queue go, and news still on the way is dropped.
    void detach() { m_project = nullptr; }
    void setSelf(std::weak_ptr<QueueListener> self) { m_self = std::move(self); }

    void openedConnection(HVRemoteFilesQueue&) override {
        forward([](HVProject& project) { project.connectionOpened(); });
    }
    void hadFatalFailure(HVRemoteFilesQueue&) override {
        forward([](HVProject& project) { project.queueHadFatalFailure(); });
    }
    bool hadCredentialsFailure(HVRemoteFilesQueue&) override {
        forward([](HVProject& project) { project.queueHadCredentialsFailure(); });
        return true;
    }
    void closedConnection(HVRemoteFilesQueue&) override {
        forward([](HVProject& project) { project.queueClosedConnection(); });
    }
    void hadError(HVRemoteFilesQueue&, const HVError& error) override {
        forward([error](HVProject& project) { project.queueHadError(error); });
    }
    void setStatus(HVRemoteFilesQueue&, const std::string& status, bool animate) override {
        forward([status, animate](HVProject& project) { project.queueSetStatus(status, animate); });
    }

private:
    template <typename Reaction> void forward(Reaction reaction) {
        HVDispatcher::main().post([weak = m_self, reaction = std::move(reaction)] {
            auto self = weak.lock();
            if (self && self->m_project)
                reaction(*self->m_project);
        });
    }

    HVProject* m_project;
    std::weak_ptr<QueueListener> m_self;
};

HVProject::HVProject() {
    setDefaults();
}

HVProject::~HVProject() {
    if (m_pendingSave) {
        HVDispatcher::main().cancel(*m_pendingSave);
        m_pendingSave.reset();
        save(nullptr);
    }
    detachQueue();
}

void HVProject::setDefaults() {
    m_loading = true;
    m_configuration.clear();
    m_configuration[std::string(kOpenFilesKey)] = HVPlistValue::Array{};
    m_configuration["HVConnectAutomaticallyKey"] = true;
    m_configuration["HVUploadAutomaticallyKey"] = true;
    m_loading = false;
}

std::shared_ptr<HVProject> HVProject::initWithProjectFile(const std::string& path) {
    auto project = std::make_shared<HVProject>();
    project->readProjectFile(path);
    return project;
}

std::shared_ptr<HVProject> HVProject::initWithRootDirectory(const std::string& path) {
    auto project = std::make_shared<HVProject>();
    project->setRootDirectory(path);
    return project;
}

std::shared_ptr<HVProject> HVProject::initWithRootDirectory(const std::string& path,
                                                            const std::string& displayName) {
    auto project = initWithRootDirectory(path);
    project->setDisplayName(displayName);
    return project;
}

std::shared_ptr<HVProject>
HVProject::initWithRepositoryRepresentation(const HVPlistValue::Dictionary& entry) {
    auto project = std::make_shared<HVProject>();
    const HVPlistValue value(entry);
    if (const std::string* name = value.stringForKey("DisplayName"))
        project->setDisplayName(*name);
    if (const std::string* root = value.stringForKey("RootDirectory"))
        project->setRootDirectory(*root);
    project->m_hasRemoteEquivalent = value.boolForKey("HasRemoteEquivalent").value_or(false);
    return project;
}

bool HVProject::loadIfNecessary() {
    if (m_loaded)
        return true;
    for (const std::string& path : projectFilePaths()) {
        if (HVFileSystem::exists(path) && !m_unreadableFiles.count(path) && readProjectFile(path))
            return true;
    }
    return false;
}

bool HVProject::readProjectFile(const std::string& path) {
    HVError error;
    auto plist = HVPropertyList::readFromFile(path, &error);
    if (plist && plist->dictionary()) {
        loadFromPlistRepresentation(*plist->dictionary(), path);
        m_loaded = true;
        return true;
    }
    if (plist)
        error = HVError(HVErrorDomain, HVProjectFileProblemError,
                        "The project file \"" + path + "\" does not hold a dictionary.");
    error.setUserInfoValue(HVFilePathErrorKey, path);
    error.setRecoverySuggestion("The file is left as it is; repair or remove it.");
    m_loadingProblems.push_back(std::move(error));
    // Kept for the user to repair: no save writes over it.
    if (HVFileSystem::exists(path))
        m_unreadableFiles.insert(path);
    return false;
}

void HVProject::applyLocalMetadata(const HVPlistValue::Dictionary& plist) {
    auto text = [&](const char* key) -> const std::string* {
        auto found = plist.find(key);
        if (found == plist.end())
            return nullptr;
        if (const std::string* value = found->second.string())
            return value;
        m_loadingProblems.push_back(
            HVProjectFileProblem(std::string("local-metadata.") + key, "a string", "nothing"));
        return nullptr;
    };
    if (const std::string* original = text("original-display-name"))
        m_originalDisplayName = *original;
    if (const std::string* name = text("display-name"))
        setDisplayName(*name);
    if (const std::string* root = text("root-directory"); root && m_rootDirectory.empty())
        setRootDirectory(*root);
}

void HVProject::loadFromPlistRepresentation(const HVPlistValue::Dictionary& plist,
                                            const std::string& source) {
    const bool wasLoading = m_loading;
    m_loading = true;
    const std::size_t firstProblem = m_loadingProblems.size();
    const bool current = plist.count("format-version") != 0;

    auto missing = [&](const char* key) {
        m_loadingProblems.push_back(HVProjectFileProblem(key, "present", "the default"));
    };
    auto dictionaryAt = [&](const char* key, bool required) -> const HVPlistValue::Dictionary* {
        auto found = plist.find(key);
        if (found == plist.end()) {
            if (required)
                missing(key);
            return nullptr;
        }
        if (const auto* dictionary = found->second.dictionary())
            return dictionary;
        m_loadingProblems.push_back(HVProjectFileProblem(key, "a dictionary", "the default"));
        return nullptr;
    };

    if (current) {
        if (auto found = plist.find("uuid"); found == plist.end())
            missing("uuid");
        else if (const std::string* uuid = found->second.string(); uuid && !uuid->empty())
            m_uuid = *uuid;
        else
            m_loadingProblems.push_back(HVProjectFileProblem("uuid", "a string", "a new uuid"));
    }
    if (const auto* local = dictionaryAt("local-metadata", current))
        applyLocalMetadata(*local);
    if (current) {
        m_type = Local;
        if (auto found = plist.find("type"); found == plist.end()) {
            missing("type");
        } else if (const std::int64_t* type = found->second.integer();
                   type && *type >= Local && *type <= Combo) {
            m_type = std::int32_t(*type);
        } else {
            m_loadingProblems.push_back(
                HVProjectFileProblem("type", "an integer from 0 to 2", "a local project (0)"));
        }
    }
    if (const auto* configuration = dictionaryAt("configuration", false))
        setAllConfigurationValues(*configuration);
    if (const auto* files = dictionaryAt("file-configuration", false)) {
        m_fileConfiguration.clear();
        for (const auto& [path, settings] : *files) {
            if (settings.isDictionary())
                m_fileConfiguration[path] = settings;
            else
                m_loadingProblems.push_back(HVProjectFileProblem(
                    "file-configuration." + path, "a dictionary", "no settings for the file"));
        }
    }
    const auto* remote = dictionaryAt("remote-metadata", current);
    if (remote)
        m_remoteConfig.loadFromPlist(*remote, &m_loadingProblems);
    if (!current) {
        if (remote) {
            // Older files kept these two settings with the server.
            const HVPlistValue metadata(*remote);
            if (const HVPlistValue* value = metadata.objectForKey("auto-connect"))
                m_configuration["HVConnectAutomaticallyKey"] = *value;
            if (const HVPlistValue* value = metadata.objectForKey("upload-on-save"))
                m_configuration["HVUploadAutomaticallyKey"] = *value;
        }
        m_type = m_remoteConfig.hasHost() ? Combo : Local;
    }
    if (!source.empty()) {
        for (std::size_t i = firstProblem; i < m_loadingProblems.size(); ++i)
            m_loadingProblems[i].setUserInfoValue(HVFilePathErrorKey, source);
    }
    m_loading = wasLoading;
}

HVPlistValue::Dictionary HVProject::plistRepresentation() {
    HVPlistValue::Dictionary local;
    if (!m_rootDirectory.empty())
        local["root-directory"] = m_rootDirectory;
    if (!m_displayName.empty())
        local["display-name"] = m_displayName;
    if (!m_originalDisplayName.empty())
        local["original-display-name"] = m_originalDisplayName;

    HVPlistValue::Dictionary plist;
    plist["format-version"] = 1;
    plist["local-metadata"] = std::move(local);
    plist["type"] = m_type;
    plist["uuid"] = uuid();
    plist["remote-metadata"] = m_remoteConfig.plistRepresentation();
    if (!m_configuration.empty())
        plist["configuration"] = m_configuration;
    if (!m_fileConfiguration.empty())
        plist["file-configuration"] = m_fileConfiguration;
    return plist;
}

bool HVProject::commit(bool now, HVError* error) {
    if (m_loading)
        return true;
    if (m_pendingSave) {
        HVDispatcher::main().cancel(*m_pendingSave);
        m_pendingSave.reset();
    }
    if (now)
        return save(error);
    // The project cancels this task when it goes away, so the task never outlives it.
    m_pendingSave = HVDispatcher::main().postAfterDelay(kSaveDelay, [this] {
        m_pendingSave.reset();
        HVError failure;
        if (!save(&failure)) {
            syslog(LOG_WARNING, "Halvet: saving the project \"%s\" failed: %s",
                   m_displayName.c_str(), failure.fullDescription().c_str());
            if (auto target = delegate())
                target->presentErrorAlert(*this, failure);
        }
    });
    return true;
}

bool HVProject::save(HVError* error) {
    if (auto target = delegate()) {
        if (auto openFiles = target->openFileInformation(*this))
            m_configuration[std::string(kOpenFilesKey)] = std::move(*openFiles);
    }
    const HVPlistValue plist(plistRepresentation());
    const std::vector<std::string> paths = projectFilePaths();
    bool firstWritten = false;
    HVError firstFailure(HVErrorDomain, 17, "The project could not be saved.");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        if (m_unreadableFiles.count(path)) {
            if (i == 0) {
                firstFailure = HVError(HVErrorDomain, 17,
                                       "The project file \"" + path +
                                           "\" could not be read, so it was not replaced.",
                                       "Repair or remove the file, then save again.");
                firstFailure.setUserInfoValue(HVFilePathErrorKey, path);
            }
            continue;
        }
        if (i > 0 && !HVFileSystem::exists(path))
            continue;
        HVError failure;
        if (!HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path), 0777,
                                           &failure) ||
            !HVPropertyList::writeToFile(plist, path, HVPlistFormat::XML, &failure)) {
            if (i == 0)
                firstFailure = failure;
            continue;
        }
        if (i == 0)
            firstWritten = true;
    }
    if (!firstWritten) {
        HVSetError(error, std::move(firstFailure));
        return false;
    }
    // The file now holds what is in memory: reading it back later would only undo changes
    // made since.
    m_loaded = true;
    return m_remoteConfig.commit(error);
}

std::string HVProject::sharedProjectFilePath() const {
    return Defaults::appSupportPathForFile(uuid() + "." + std::string(kProjectExtension),
                                           "Projects");
}

std::optional<std::string> HVProject::localProjectFilePath() const {
    if (m_rootDirectory.empty())
        return std::nullopt;
    std::vector<std::string> found;
    std::error_code failure;
    for (const auto& entry : std::filesystem::directory_iterator(m_rootDirectory, failure)) {
        const std::string name = entry.path().filename().string();
        if (HVFileSystem::pathExtension(name) == kProjectExtension)
            found.push_back(name);
    }
    if (!found.empty()) {
        // The kernel lists entries in no stable order; the first by name is the same each time.
        return HVFileSystem::appendingPathComponent(m_rootDirectory,
                                                    *std::min_element(found.begin(), found.end()));
    }
    const std::string& name = m_originalDisplayName.empty() ? m_displayName : m_originalDisplayName;
    if (name.empty())
        return std::nullopt;
    return HVFileSystem::appendingPathComponent(m_rootDirectory,
                                                name + "." + std::string(kProjectExtension));
}

std::vector<std::string> HVProject::projectFilePaths() const {
    std::vector<std::string> paths{sharedProjectFilePath()};
    if (auto local = localProjectFilePath()) {
        if (Defaults::useSharedProjectLocation())
            paths.push_back(*local);
        else
            paths.insert(paths.begin(), *local);
    }
    return paths;
}

void HVProject::setDisplayName(std::string name) {
    if (m_originalDisplayName.empty() && !name.empty())
        m_originalDisplayName = name;
    m_displayName = std::move(name);
}

void HVProject::setRootDirectory(std::string path) {
    if (!path.empty())
        path = HVFileSystem::standardizingPath(path);
    if (path == m_rootDirectory)
        return;
    m_rootDirectory = std::move(path);
    // A tree of the old directory would show the wrong files: made again on request.
    m_rootFile.reset();
    if (m_displayName.empty() && !m_rootDirectory.empty()) {
        std::string name = HVFileSystem::lastPathComponent(m_rootDirectory);
        const std::string extension = HVFileSystem::pathExtension(name);
        if (!extension.empty())
            name.resize(name.size() - extension.size() - 1);
        setDisplayName(std::move(name));
    }
}

const std::string& HVProject::uuid() const {
    if (m_uuid.empty()) {
        m_uuid = HVMakeUUID();
        HVProjectRepository::sharedInstance().projectDetailsChanged(*this);
    }
    return m_uuid;
}

void HVProject::setUUID(std::string uuid) {
    m_uuid = std::move(uuid);
    commit(false);
}

std::optional<HVPlistValue> HVProject::configurationValueForKey(std::string_view key) const {
    auto found = m_configuration.find(key);
    if (found == m_configuration.end())
        return std::nullopt;
    return found->second;
}

bool HVProject::boolConfigurationValueForKey(std::string_view key) const {
    auto found = m_configuration.find(key);
    return found != m_configuration.end() && found->second.isNumber() &&
           found->second.boolValue().value_or(false);
}

void HVProject::setConfigurationValue(HVPlistValue value, const std::string& key) {
    if (value.isNone() || key.empty())
        return;
    m_configuration[key] = std::move(value);
    // The open files change at every save of a document; they alone are not worth a write.
    if (key != kOpenFilesKey)
        commit(false);
}

void HVProject::setBoolConfigurationValue(bool value, const std::string& key) {
    setConfigurationValue(HVPlistValue(value), key);
}

void HVProject::setAllConfigurationValues(std::optional<HVPlistValue::Dictionary> values) {
    m_configuration = values ? std::move(*values) : HVPlistValue::Dictionary{};
}

std::optional<HVPlistValue> HVProject::configurationValueForKey(std::string_view key,
                                                                const std::string& file) const {
    auto found = m_fileConfiguration.find(file);
    if (found == m_fileConfiguration.end())
        return std::nullopt;
    if (key.empty())
        return found->second;
    if (const HVPlistValue* value = found->second.objectForKey(key))
        return *value;
    return std::nullopt;
}

void HVProject::setConfigurationValue(HVPlistValue value, const std::string& key,
                                      const std::string& file) {
    if (key.empty()) {
        if (value.isDictionary())
            m_fileConfiguration[file] = std::move(value);
        else
            m_fileConfiguration.erase(file);
    } else {
        HVPlistValue& settings = m_fileConfiguration[file];
        if (!settings.isDictionary())
            settings = HVPlistValue::Dictionary{};
        if (value.isNone())
            settings.dictionary()->erase(key);
        else
            (*settings.dictionary())[key] = std::move(value);
    }
    commit(false);
}

bool HVProject::hasRemoteEquivalent() const {
    return m_hasRemoteEquivalent || m_remoteConfig.hasHost();
}

bool HVProject::hasRemoteConnection() const {
    if (!m_remoteQueue)
        return false;
    const auto state = m_remoteQueue->state();
    return state == HVRemoteFilesQueue::State::Idle || state == HVRemoteFilesQueue::State::Busy;
}

void HVProject::connectToRemoteSite() {
    auto target = delegate();
    if (target) {
        target->setStatusString(*this,
                                HVLocalization::localizedString("Connecting to remote site"));
        target->showProgress(*this, true);
    }
    detachQueue();
    const auto protocol = m_remoteConfig.remoteProtocol();
    if (!protocol) {
        if (target) {
            target->showProgress(*this, false);
            target->presentErrorAlert(
                *this, HVError(HVErrorDomain, 1,
                               "The project's protocol (" +
                                   std::to_string(m_remoteConfig.protocol()) + ") is unknown.",
                               "Choose FTP, SFTP or WebDAV in the project's settings."));
        }
        return;
    }

    auto listener = std::make_shared<QueueListener>(this);
    listener->setSelf(listener);
    m_queueListener = listener;
    m_remoteQueue = std::make_shared<HVRemoteFilesQueue>(*protocol, listener);

    HVRemoteServer server;
    server.host = m_remoteConfig.host().value_or("");
    server.port = m_remoteConfig.portNumber();
    server.user = m_remoteConfig.user().value_or("");
    HVError storeFailure;
    server.password = m_remoteConfig.password(&storeFailure).value_or("");
    if (!storeFailure.description().empty() && target) {
        // Without the stored password the login asks for one; the store's trouble is a warning.
        storeFailure.setLowPriority(true);
        target->presentErrorAlert(*this, storeFailure);
    }
    server.arguments = m_remoteConfig.arguments();
    const std::string initialDirectory = m_remoteConfig.initialDirectory().value_or("");
    if (*protocol == HVRemoteProtocol::WebDAV) {
        // The client opens a collection, not a server: the initial directory is that
        // collection, and a true option "https" picks the scheme (it is no client argument).
        if (const auto& options = m_remoteConfig.options()) {
            auto https = options->find("https");
            if (https != options->end() && https->second.isNumber() &&
                https->second.boolValue().value_or(false))
                server.webDAVScheme = "https";
        }
        std::erase(server.arguments, std::string("-https"));
        if (!initialDirectory.empty())
            server.webDAVPath =
                initialDirectory.front() == '/' ? initialDirectory : "/" + initialDirectory;
    }
    m_remoteQueue->connect(std::move(server));
    if (!initialDirectory.empty() && *protocol != HVRemoteProtocol::WebDAV) {
        m_remoteQueue->setInitialWorkingDirectory(initialDirectory);
        m_remoteQueue->changeToDirectory(initialDirectory);
    }
    queueDidChange(m_remoteQueue);
}

void HVProject::queueDidChange(const std::shared_ptr<HVRemoteFilesQueue>& queue) {
    if (m_rootFile)
        m_rootFile->setRemoteQueue(queue);
}

void HVProject::setType(std::int32_t type) {
    m_type = type;
    if (m_rootFile)
        m_rootFile->setRemoteOnly(type == Remote);
}

std::shared_ptr<HVRootFile> HVProject::rootFile() {
    if (!m_rootFile && m_open && !m_rootDirectory.empty()) {
        m_rootFile = HVRootFile::initWithPath(m_rootDirectory);
        m_rootFile->setRemoteOnly(m_type == Remote);
        m_rootFile->setRemoteQueue(m_remoteQueue);
    }
    return m_rootFile;
}

void HVProject::closeRemoteConnection() {
    if (m_remoteQueue)
        m_remoteQueue->closeConnection();
}

void HVProject::detachQueue() {
    if (m_remoteQueue) {
        m_remoteQueue->clearActionDelegate(m_queueListener.get());
        m_remoteQueue->setDelegate({});
    }
    if (m_queueListener)
        m_queueListener->detach();
    m_queueListener.reset();
    m_remoteQueue.reset();
}

void HVProject::close() {
    m_open = false;
    m_delegate.reset();
    closeRemoteConnection();
    detachQueue();
    queueDidChange(nullptr);
    m_rootFile.reset();
}

void HVProject::connectionOpened() {
    const bool connected = hasRemoteConnection();
    if (auto target = delegate()) {
        target->showProgress(*this, false);
        target->setStatusString(
            *this, HVLocalization::localizedString(connected ? "Connected" : "Failed to connect"));
        target->didConnectToRemoteSite(*this, connected);
    }
    if (!connected)
        queueDidChange(nullptr);
}

void HVProject::queueHadFatalFailure() {
    if (!m_remoteQueue || m_remoteQueue->state() == HVRemoteFilesQueue::State::NotRunning ||
        m_remoteQueue->state() == HVRemoteFilesQueue::State::Connecting)
        connectionOpened();
}

void HVProject::queueHadCredentialsFailure() {
    if (auto target = delegate())
        target->needsRemoteCredentials(*this);
    connectionOpened();
}

void HVProject::queueClosedConnection() {
    if (auto target = delegate())
        target->closedRemoteConnection(*this);
}

void HVProject::queueHadError(const HVError& error) {
    if (auto target = delegate())
        target->presentErrorAlert(*this, error);
}

void HVProject::queueSetStatus(const std::string& status, bool animate) {
    if (auto target = delegate()) {
        target->setStatusString(*this, status);
        target->showProgress(*this, animate);
    }
}

void HVProject::setDelegate(std::weak_ptr<HVProjectDelegate> delegate) {
    m_delegate = std::move(delegate);
}

void HVProject::clearDelegate(const HVProjectDelegate* delegate) {
    if (m_delegate.lock().get() == delegate)
        m_delegate.reset();
}

int HVProject::compare(const HVProject& other) const {
    return HVCaseInsensitive::compare(m_displayName, other.m_displayName);
}

bool HVProject::isEqual(const HVProject& other) const {
    if (m_type != other.m_type || m_displayName != other.m_displayName)
        return false;
    if (!m_rootDirectory.empty() && !other.m_rootDirectory.empty() &&
        m_rootDirectory != other.m_rootDirectory)
        return false;
    return m_remoteConfig.isEqual(other.m_remoteConfig);
}

std::optional<std::string> HVProject::projectDirectoryForProject(const HVProject& project) {
    const std::string base = HVFileSystem::appendingPathComponent(
        HVFileSystem::appendingPathComponent(HVFileSystem::homeDirectory(), "Sites"), "Halvet");
    if (!HVFileSystem::createDirectory(base))
        return std::nullopt;
    const std::string name =
        joinedWords(project.displayName().empty() ? HVLocalization::localizedString("Untitled")
                                                  : project.displayName());
    if (name.empty())
        return std::nullopt;
    const std::string candidate = HVFileSystem::appendingPathComponent(base, name);
    std::string chosen = candidate;
    if (HVFileSystem::exists(candidate)) {
        auto owner = HVProjectRepository::sharedInstance().copyProjectWithPath(candidate, false);
        if (owner && owner->isEqual(project))
            return candidate;
        chosen = HVFileSystem::appendingPathComponent(candidate, name);
        for (int counter = 1; HVFileSystem::exists(chosen); ++counter)
            chosen = HVFileSystem::appendingPathComponent(candidate,
                                                          name + " " + std::to_string(counter));
    }
    // The parent exists: only this one directory is made.
    if (::mkdir(chosen.c_str(), 0777) != 0 && !HVFileSystem::isDirectory(chosen))
        return std::nullopt;
    return chosen;
}
