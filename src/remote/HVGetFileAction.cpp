#include "HVGetFileAction.h"

#include "HVFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

HVGetFileAction::HVGetFileAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                 std::string remotePath, std::string localPath)
    : HVRemoteFileAction(std::move(connection)) {
    m_remotePath = std::move(remotePath);
    m_localPath = std::move(localPath);
}

HVGetFileAction::~HVGetFileAction() {
    removePartial();
}

void HVGetFileAction::removePartial() {
    if (!m_partialFile.empty())
        ::unlink(m_partialFile.c_str());
    if (!m_partialFolder.empty())
        ::rmdir(m_partialFolder.c_str());
    m_partialFile.clear();
    m_partialFolder.clear();
}

void HVGetFileAction::start() {
    if (m_localPath.empty() || m_localPath.front() != '/' || m_localPath.back() == '/')
        return fail(0, "The local path \"" + m_localPath + "\" is not an absolute file path.");
    std::string folder = folderOf(m_localPath);
    std::string pattern = (folder == "/" ? "" : folder) + "/.halvet-partial-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return fail(0, "Could not make a download folder in \"" + folder +
                           "\": " + std::strerror(errno));
    m_partialFolder = pattern;
    m_partialFile = m_partialFolder + "/download";
    if (protocol() == HVRemoteProtocol::FTP) {
        m_typedBinary = true;
        if (!type("binary")) {
            removePartial();
            fail(0, "The client did not accept the command.");
        }
        return;
    }
    typeTransfer();
}

void HVGetFileAction::typeTransfer() {
    bool sftp = protocol() == HVRemoteProtocol::SFTP;
    auto remote = quoted(m_remotePath,
                         sftp ? HVRemoteArgument::GlobbedRemotePath : HVRemoteArgument::RemotePath);
    std::optional<std::string> local;
    if (remote)
        local = quoted(m_partialFile, HVRemoteArgument::LocalPath);
    if (!remote || !local)
        return removePartial();
    typeCommand("get", {*remote, *local});
    if (hasFinished())
        removePartial();
}

void HVGetFileAction::handleReply(const std::vector<std::string>& lines, bool) {
    int code = 0;
    if (m_typedBinary) {
        m_typedBinary = false;
        if (!judgeFileReply(lines, &code))
            return removePartial();
        return typeTransfer();
    }
    if (!judgeTransferReply(lines, &code))
        return removePartial();
    struct stat info {};
    if (::lstat(m_partialFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        removePartial();
        return fail(code, "The client reported success but wrote no file.");
    }
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (m_expectedSize && size != *m_expectedSize) {
        removePartial();
        return fail(code, "The download has " + std::to_string(size) + " bytes; the listing said " +
                              std::to_string(*m_expectedSize) + ".");
    }
    if (::rename(m_partialFile.c_str(), m_localPath.c_str()) != 0) {
        std::string reason =
            "Could not move the download to \"" + m_localPath + "\": " + std::strerror(errno);
        removePartial();
        return fail(code, reason);
    }
    m_partialFile.clear();
    removePartial();
    finish(true, code);
}

std::string HVGetFileAction::errorDescription() const {
    return "Could Not Download File";
}

std::string HVGetFileAction::errorSuggestion(int) const {
    return "The file \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be downloaded. Please be sure you have read access for the remote "
           "server.";
}
