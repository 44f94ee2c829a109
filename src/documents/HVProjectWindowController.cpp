#include "HVProjectWindowController.h"

#include "HVDispatcher.h"
#include "HVFile.h"
#include "HVFileCategories.h"
#include "HVFileDelegate.h"
#include "HVFileDocument.h"
#include "HVFileSystem.h"
#include "HVLocalFileRepresentation.h"
#include "HVLocalization.h"
#include "HVProject.h"
#include "HVProjectDelegate.h"
#include "HVRootFile.h"
#include "HVUnknownFileTypeChoices.h"
#include "HVUploadList.h"
#include "HVUserInterface.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

inline constexpr std::string_view kUploadAutomatically = "HVUploadAutomaticallyKey";
inline constexpr std::string_view kConnectAutomatically = "HVConnectAutomaticallyKey";

// Per-file settings of a project's file live in the project file, keyed by the path from the
// root, so that they follow the file between machines and sessions.
class HVProjectFileDocument final : public HVFileDocument {
public:
    HVProjectFileDocument(std::shared_ptr<HVFile> file, HVFileDocumentDelegate* delegate,
                          std::weak_ptr<HVProject> project)
        : HVFileDocument(std::move(file), delegate), m_project(std::move(project)) {}

    std::optional<HVPlistValue> configurationValueForKey(std::string_view key,
                                                         const std::string& file) const override {
        if (auto project = m_project.lock())
            return project->configurationValueForKey(key, file);
        return HVFileDocument::configurationValueForKey(key, file);
    }
    void setConfigurationValue(std::optional<HVPlistValue> value, std::string_view key,
                               const std::string& file) override {
        auto project = m_project.lock();
        if (!project) {
            HVFileDocument::setConfigurationValue(std::move(value), key, file);
            return;
        }
        project->setConfigurationValue(value ? std::move(*value) : HVPlistValue(), std::string(key),
                                       file);
    }

private:
    std::weak_ptr<HVProject> m_project;
};

HVError creationError(const std::string& path, int code, bool folder) {
    if (folder) {
        HVError error(HVErrorDomain, 0,
                      HVLocalization::localizedString("Could not create directory"),
                      HVLocalization::localizedString(
                          "Please be sure you have write permissions for the directory"));
        error.setUserInfoValue(HVFilePathErrorKey, path);
        return error;
    }
    return HVError::posix(code, path, "create");
}

} // namespace

// Hears the tree and the project for the window; both hold it weakly, and it outlives neither
// check: the controller detaches it when it goes.
class HVProjectWindowController::Listener final : public HVFileDelegate, public HVProjectDelegate {
public:
    explicit Listener(HVProjectWindowController* owner) : m_owner(owner) {}
    void detach() { m_owner = nullptr; }

    void fileNeedsRefresh(HVFile& file) override {
        if (m_owner && m_owner->onFileNeedsRefresh)
            m_owner->onFileNeedsRefresh(file);
    }
    void removedChild(HVFile& file, HVFile& parent) override {
        if (!m_owner)
            return;
        m_owner->closeTabOf(file);
        fileNeedsRefresh(parent);
    }
    void wasDuplicatedToFile(HVFile&, HVFile& copy) override {
        if (m_owner && m_owner->onStartRenaming)
            m_owner->onStartRenaming(copy);
    }
    void contentBecameAvailable(HVFile& file) override {
        if (m_owner)
            m_owner->openFile(file.shared_from_this());
    }
    std::optional<bool> fileShouldUpload(HVFile&) override {
        if (!m_owner)
            return std::nullopt;
        const auto& project = m_owner->project();
        return project->hasRemoteEquivalent() &&
               project->boolConfigurationValueForKey(kUploadAutomatically);
    }
    bool presentErrorAlert(const HVError& error) override {
        if (!m_owner)
            return false;
        HVUserInterface::shared().presentError(error, m_owner, nullptr);
        return true;
    }

    void setStatusString(HVProject&, const std::string& status) override {
        m_status = status;
        if (m_owner && m_owner->onStatus)
            m_owner->onStatus(m_status, m_progress);
    }
    void showProgress(HVProject&, bool show) override {
        m_progress = show;
        if (m_owner && m_owner->onStatus)
            m_owner->onStatus(m_status, m_progress);
    }
    void didConnectToRemoteSite(HVProject& project, bool connected) override {
        // What failed while the project was cut off from its server goes now.
        if (connected)
            HVUploadList::sharedInstance().retryFailed(project.rootDirectory());
        if (m_owner && m_owner->onConnectionChanged)
            m_owner->onConnectionChanged(connected);
    }
    void closedRemoteConnection(HVProject&) override {
        if (m_owner && m_owner->onConnectionChanged)
            m_owner->onConnectionChanged(false);
    }
    void needsRemoteCredentials(HVProject&) override {
        if (m_owner && m_owner->onNeedsCredentials)
            m_owner->onNeedsCredentials();
    }
    void presentErrorAlert(HVProject&, const HVError& error) override { presentErrorAlert(error); }
    std::optional<HVPlistValue::Array> openFileInformation(HVProject&) override {
        if (!m_owner)
            return std::nullopt;
        HVPlistValue::Array files;
        for (const auto& document : m_owner->openDocuments()) {
            if (auto entry = document->plistRepresentationForProject())
                files.push_back(std::move(*entry));
        }
        return files;
    }

private:
    HVProjectWindowController* m_owner;
    std::string m_status;
    bool m_progress = false;
};

HVProjectWindowController::HVProjectWindowController(HVDocument* mainDocument,
                                                     std::shared_ptr<HVProject> project)
    : HVMultiFileWindowController(mainDocument), m_project(std::move(project)),
      m_listener(std::make_shared<Listener>(this)) {
    m_project->setDelegate(m_listener);
    if (auto root = rootFile())
        root->setDelegate(m_listener);
}

HVProjectWindowController::~HVProjectWindowController() {
    m_listener->detach();
    m_project->clearDelegate(m_listener.get());
    if (auto root = m_project->rootFile())
        root->clearDelegate(m_listener.get());
}

std::shared_ptr<HVRootFile> HVProjectWindowController::rootFile() const {
    return m_project->rootFile();
}

std::shared_ptr<HVFileDocument>
HVProjectWindowController::createDocumentForFile(const std::shared_ptr<HVFile>& file) {
    if (file && file->fileType() == HVFile::Directory)
        return nullptr;
    return std::make_shared<HVProjectFileDocument>(file, this, m_project);
}

std::shared_ptr<HVFile> HVProjectWindowController::nodeForPath(const std::string& path) {
    auto root = rootFile();
    if (!root)
        return nullptr;
    std::string standard = HVFileSystem::standardizingPath(path);
    // Outside the root the tree has nothing, and nothing is listed to find that out.
    if (standard != root->path() && !root->containsPath(standard))
        return nullptr;
    return root->childWithPath({standard}, true);
}

std::shared_ptr<HVFile> HVProjectWindowController::fileForPath(const std::string& path) {
    // A file below the root that the tree has not listed yet (just made by another program)
    // joins the tree; one outside stays a lone file.
    if (auto node = nodeJoiningTree(path))
        return node;
    return HVMultiFileWindowController::fileForPath(path);
}

std::shared_ptr<HVFile>
HVProjectWindowController::backingFileWillChangeToPath(HVFileDocument* document,
                                                       const std::string& path) {
    if (auto node = nodeJoiningTree(path))
        return node;
    return HVMultiFileWindowController::backingFileWillChangeToPath(document, path);
}

std::shared_ptr<HVFile> HVProjectWindowController::nodeJoiningTree(const std::string& path) {
    if (auto node = nodeForPath(path))
        return node;
    auto parent = nodeForPath(HVFileSystem::deletingLastPathComponent(path));
    if (!parent || parent->fileType() != HVFile::Directory || !HVFileSystem::exists(path))
        return nullptr;
    // Made from the file as it is, without the change notice of a new file: opening must not
    // upload, and a save sends its own notice once it has written.
    auto node = parent->addChildRepresentation(HVLocalFileRepresentation::initWithPath(path));
    if (onFileNeedsRefresh)
        onFileNeedsRefresh(*parent);
    return node;
}

void HVProjectWindowController::windowDidOpen() {
    // A project file that was partly unreadable loaded with defaults: say which value.
    for (const HVError& problem : m_project->loadingProblems()) {
        HVError warning = problem;
        warning.setLowPriority(true);
        HVUserInterface::shared().presentError(warning, this, nullptr);
    }
    // A site without a host has nothing to connect to yet (its settings are unfinished).
    if (m_project->type() != HVProject::Local && m_project->remoteConfig().hasHost() &&
        m_project->boolConfigurationValueForKey(kConnectAutomatically)) {
        std::weak_ptr<HVProject> project = m_project;
        HVDispatcher::main().post([project] {
            if (auto alive = project.lock(); alive && alive->isOpen())
                alive->connectToRemoteSite();
        });
    }
}

void HVProjectWindowController::connect() {
    m_project->connectToRemoteSite();
}

void HVProjectWindowController::disconnect() {
    m_project->closeRemoteConnection();
}

bool HVProjectWindowController::isConnected() const {
    return m_project->hasRemoteConnection();
}

std::shared_ptr<HVFile>
HVProjectWindowController::targetDirectory(const std::shared_ptr<HVFile>& selected) const {
    if (selected && selected->fileType() == HVFile::Directory)
        return selected;
    if (selected && selected->parent())
        return selected->parent();
    return rootFile();
}

std::shared_ptr<HVFile> HVProjectWindowController::newFile(const std::shared_ptr<HVFile>& directory,
                                                           const std::string& name,
                                                           HVError* error) {
    auto target = targetDirectory(directory);
    if (!target || name.empty() || name.find('/') != std::string::npos)
        return nullptr;
    std::string path = HVFileSystem::appendingPathComponent(target->path(), name);
    if (HVFileSystem::exists(path)) {
        HVSetError(error, HVError::posix(EEXIST, path, "create"));
        return nullptr;
    }
    HVFileSystem::createDirectory(target->path(), 0777, nullptr);
    HVError failure;
    if (!HVFileSystem::writeFileAtomically(path, "", &failure)) {
        HVSetError(error,
                   failure.description().empty() ? creationError(path, EACCES, false) : failure);
        return nullptr;
    }
    auto node = rootFile()->addFileAtPath(path);
    if (node)
        openFile(node);
    return node;
}

std::shared_ptr<HVFile>
HVProjectWindowController::newFolder(const std::shared_ptr<HVFile>& directory,
                                     const std::string& name, HVError* error) {
    auto target = targetDirectory(directory);
    if (!target || name.empty() || name.find('/') != std::string::npos)
        return nullptr;
    std::string path = HVFileSystem::appendingPathComponent(target->path(), name);
    std::error_code code;
    std::filesystem::create_directories(target->path(), code);
    if (!std::filesystem::create_directory(path, code) || code) {
        HVSetError(error, creationError(path, code.value(), true));
        return nullptr;
    }
    return rootFile()->addFileAtPath(path);
}

void HVProjectWindowController::deleteFile(const std::shared_ptr<HVFile>& file) {
    if (!file || file == rootFile())
        return;
    std::weak_ptr<HVFile> weak = file;
    if (file->remoteRepresentation()) {
        // Nothing of a server's copy can be brought back from a trash: ask before it goes,
        // and say whether the copy on this computer goes with it.
        const std::string name = "\u201C" + file->name() + "\u201D";
        HVError question(HVErrorDomain, 14, HVLocalization::localizedString("Delete File"),
                         file->localRepresentation()
                             ? "Delete " + name +
                                   " from the server and from this computer? This cannot be "
                                   "undone."
                             : "Delete " + name + " from the server? This cannot be undone.",
                         {"Delete", "Cancel"});
        HVUserInterface::shared().presentError(question, this, [weak](std::size_t option) {
            if (auto node = weak.lock(); node && option == 0)
                node->remove();
        });
        return;
    }
    HVUserInterface::shared().presentError(HVFile::deletionQuestion(), this,
                                           [weak](std::size_t option) {
                                               auto node = weak.lock();
                                               if (!node)
                                                   return;
                                               if (option == 0)
                                                   node->moveToTrash();
                                               else if (option == 1)
                                                   node->remove();
                                           });
}

void HVProjectWindowController::refresh(const std::shared_ptr<HVFile>& selected) {
    if (auto directory = targetDirectory(selected))
        directory->refresh(false);
}

void HVProjectWindowController::refreshProject() {
    if (auto root = rootFile())
        root->refresh(false);
}

std::vector<std::shared_ptr<HVFile>>
HVProjectWindowController::importFiles(const std::vector<std::string>& paths,
                                       const std::shared_ptr<HVFile>& directory, ImportMode mode,
                                       HVError* error) {
    std::vector<std::shared_ptr<HVFile>> imported;
    auto target = targetDirectory(directory);
    if (!target)
        return imported;
    std::error_code code;
    std::filesystem::create_directories(target->path(), code);
    for (const auto& source : paths) {
        std::string destination = HVFileSystem::appendingPathComponent(
            target->path(), HVFileSystem::lastPathComponent(source));
        // Never over a file that is already there: the user's bytes come first.
        if (HVFileSystem::exists(destination) || HVFileSystem::isSameFile(source, destination)) {
            HVSetError(error, HVError::posix(EEXIST, destination, "import"));
            continue;
        }
        HVError failure;
        bool done = false;
        if (mode == ImportMode::Move) {
            done = HVFileSystem::moveItem(source, destination, &failure);
        } else {
            code.clear();
            std::filesystem::copy(source, destination, std::filesystem::copy_options::recursive,
                                  code);
            done = !code;
            if (code)
                failure = HVError::posix(code.value(), source, "import");
        }
        if (!done) {
            HVSetError(error, failure);
            continue;
        }
        if (auto node = rootFile()->addFileAtPath(destination))
            imported.push_back(node);
    }
    if (onFileNeedsRefresh)
        onFileNeedsRefresh(*target);
    return imported;
}

HVFileDocument* HVProjectWindowController::openNode(const std::shared_ptr<HVFile>& file) {
    if (!file || file->fileType() == HVFile::Directory)
        return nullptr;
    bool ignore = false;
    if (HVUnknownFileTypeChoices::shouldDisplayForFile(*file, &ignore,
                                                       HVFileCategories::sharedCategories()) &&
        onUnknownFileType) {
        onUnknownFileType(file);
        return nullptr;
    }
    if (ignore)
        return nullptr;
    // The list of open files in the project file follows.
    m_project->commit(false);
    return openFile(file);
}

void HVProjectWindowController::closeTabOf(HVFile& file) {
    for (const auto& document : openDocuments()) {
        if (document->file().get() == &file) {
            closeDocument(document.get());
            return;
        }
    }
}
