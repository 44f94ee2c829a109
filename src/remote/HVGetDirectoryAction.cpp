#include "HVGetDirectoryAction.h"

#include "HVFileListingAction.h"
#include "HVFileSystem.h"
#include "HVGetFileAction.h"
#include "HVRemoteListingParser.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace {

// Whether the path, taken apart, names an entry directly inside the folder.
bool staysInside(std::string folder, const std::string& path) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::filesystem::path relative =
        std::filesystem::path(path).lexically_normal().lexically_relative(
            std::filesystem::path(folder).lexically_normal());
    if (std::distance(relative.begin(), relative.end()) != 1)
        return false;
    return *relative.begin() != ".." && *relative.begin() != "." && !relative.empty();
}

} // namespace

HVGetDirectoryAction::HVGetDirectoryAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                           std::string remotePath, std::string localPath)
    : HVRemoteDirectoryAction(std::move(connection)) {
    m_remotePath = std::move(remotePath);
    m_localPath = std::move(localPath);
}

void HVGetDirectoryAction::resetProgress() {
    HVRemoteDirectoryAction::resetProgress();
    m_listed = false;
    m_entries.clear();
    m_next = 0;
}

void HVGetDirectoryAction::start() {
    if (m_localPath.empty() || m_localPath.front() != '/')
        return fail(0, "The local path \"" + m_localPath + "\" is not absolute.");
    if (::mkdir(m_localPath.c_str(), 0777) != 0) {
        struct stat info {};
        bool isFolder =
            errno == EEXIST && ::lstat(m_localPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        if (!isFolder)
            return fail(0, "Could not make the folder \"" + m_localPath +
                               "\": " + std::strerror(errno));
    }
    runStep(std::make_shared<HVFileListingAction>(connection(), m_remotePath));
}

void HVGetDirectoryAction::stepFinished(HVRemoteFileAction& step, bool success, int statusCode) {
    if (!m_listed) {
        m_listed = true;
        if (!success)
            return fail(statusCode, step.reason());
        m_entries = static_cast<HVFileListingAction&>(step).files();
        return getNext(statusCode);
    }
    if (!success)
        noteFailure(statusCode, step.reason().empty() ? step.error(statusCode).recoverySuggestion()
                                                      : step.reason());
    getNext(statusCode);
}

void HVGetDirectoryAction::getNext(int lastStatusCode) {
    while (m_next < m_entries.size()) {
        const HVRemoteFile& file = m_entries[m_next++];
        std::string local = HVFileSystem::appendingPathComponent(m_localPath, file.name);
        if (!HVRemoteListingParser::isSafeName(file.name) || !staysInside(m_localPath, local)) {
            noteFailure(0, "Skipped \"" + file.name + "\": it would land outside the folder.");
            continue;
        }
        std::shared_ptr<HVRemoteFileAction> step;
        if (file.isDirectory) {
            step = std::make_shared<HVGetDirectoryAction>(connection(), file.path, local);
        } else {
            auto get = std::make_shared<HVGetFileAction>(connection(), file.path, local);
            if (!file.isSymlink && file.size > 0)
                get->setExpectedSize(file.size);
            step = get;
        }
        return runStep(step);
    }
    finishSteps(lastStatusCode);
}

std::string HVGetDirectoryAction::errorDescription() const {
    return "Could Not Download Directory";
}

std::string HVGetDirectoryAction::errorSuggestion(int) const {
    return "The directory \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be downloaded. Please be sure you have read access for the remote "
           "server.";
}
