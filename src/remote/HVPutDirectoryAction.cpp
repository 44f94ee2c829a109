#include "HVPutDirectoryAction.h"

#include "HVFileCommandAction.h"
#include "HVFileListingAction.h"
#include "HVFileSystem.h"
#include "HVPutFileAction.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

namespace {

std::optional<std::string> resolved(const std::string& path) {
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer))
        return std::nullopt;
    return std::string(buffer);
}

} // namespace

HVPutDirectoryAction::HVPutDirectoryAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                           std::string localPath, std::string remotePath)
    : HVRemoteDirectoryAction(std::move(connection)) {
    m_localPath = std::move(localPath);
    m_remotePath = std::move(remotePath);
}

void HVPutDirectoryAction::resetProgress() {
    HVRemoteDirectoryAction::resetProgress();
    m_madeDirectory = false;
    m_names.clear();
    m_next = 0;
}

void HVPutDirectoryAction::start() {
    struct stat info {};
    if (::lstat(m_localPath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return fail(0, "The local folder \"" + m_localPath + "\" does not exist.");
    if (m_root.empty())
        m_root = resolved(m_localPath).value_or(m_localPath);
    DIR* folder = ::opendir(m_localPath.c_str());
    if (!folder)
        return fail(0, "The local folder \"" + m_localPath + "\" cannot be read.");
    while (dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            m_names.push_back(std::move(name));
    }
    ::closedir(folder);
    std::sort(m_names.begin(), m_names.end());
    runStep(std::make_shared<HVMakeDirectoryFileAction>(connection(), m_remotePath));
}

void HVPutDirectoryAction::stepFinished(HVRemoteFileAction& step, bool success, int statusCode) {
    if (!m_madeDirectory) {
        m_madeDirectory = true;
        bool exists = (protocol() == HVRemoteProtocol::FTP && statusCode == 550) ||
                      (protocol() == HVRemoteProtocol::WebDAV && statusCode == 405);
        if (!success && !exists && protocol() == HVRemoteProtocol::SFTP &&
            step.reason().ends_with(": Failure")) {
            // OpenSSH's server answers a folder that exists with a bare "Failure", as it does
            // other refusals: going on needs the folder to be there.
            m_checkingExisting = true;
            m_makeReason = step.reason();
            m_makeStatus = statusCode;
            return runStep(std::make_shared<HVFileListingAction>(connection(), m_remotePath));
        }
        if (!success && !exists)
            return fail(statusCode, step.reason());
        return putNext(statusCode);
    }
    if (m_checkingExisting) {
        m_checkingExisting = false;
        if (!success)
            return fail(m_makeStatus, m_makeReason);
        return putNext(statusCode);
    }
    if (!success)
        noteFailure(statusCode, step.reason());
    putNext(statusCode);
}

void HVPutDirectoryAction::putNext(int lastStatusCode) {
    while (m_next < m_names.size()) {
        const std::string& name = m_names[m_next++];
        std::string local = HVFileSystem::appendingPathComponent(m_localPath, name);
        std::string remote = HVFileSystem::appendingPathComponent(m_remotePath, name);
        struct stat info {};
        if (::lstat(local.c_str(), &info) != 0) {
            noteFailure(0, "Skipped \"" + local + "\": it disappeared.");
            continue;
        }
        if (S_ISLNK(info.st_mode)) {
            auto target = resolved(local);
            struct stat targetInfo {};
            bool inside = target && target->starts_with(m_root + "/") &&
                          ::stat(target->c_str(), &targetInfo) == 0 && S_ISREG(targetInfo.st_mode);
            if (!inside) {
                noteFailure(0, "Skipped the link \"" + local +
                                   "\": it does not lead to a file inside the folder.");
                continue;
            }
            return runStep(std::make_shared<HVPutFileAction>(connection(), local, remote));
        }
        if (S_ISDIR(info.st_mode)) {
            auto step = std::make_shared<HVPutDirectoryAction>(connection(), local, remote);
            step->m_root = m_root;
            return runStep(step);
        }
        if (S_ISREG(info.st_mode))
            return runStep(std::make_shared<HVPutFileAction>(connection(), local, remote));
        noteFailure(0, "Skipped \"" + local + "\": it is not a file or a folder.");
    }
    finishSteps(lastStatusCode);
}

std::string HVPutDirectoryAction::errorDescription() const {
    return "Could Not Upload Directory";
}

std::string HVPutDirectoryAction::errorSuggestion(int) const {
    return "The directory \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be uploaded. Please be sure you have write access for the remote "
           "server.";
}
