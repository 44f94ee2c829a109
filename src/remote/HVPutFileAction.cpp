#include "HVPutFileAction.h"

#include "HVFileSystem.h"

#include <sys/stat.h>

HVPutFileAction::HVPutFileAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                 std::string localPath, std::string remotePath)
    : HVRemoteFileAction(std::move(connection)) {
    m_localPath = std::move(localPath);
    m_remotePath = std::move(remotePath);
}

void HVPutFileAction::start() {
    struct stat info {};
    if (::stat(m_localPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return fail(0, "The local file \"" + m_localPath + "\" does not exist or is no file.");
    if (protocol() == HVRemoteProtocol::FTP) {
        m_typedBinary = true;
        if (!type("binary"))
            fail(0, "The client did not accept the command.");
        return;
    }
    typeTransfer();
}

void HVPutFileAction::typeTransfer() {
    bool sftp = protocol() == HVRemoteProtocol::SFTP;
    auto local = quoted(m_localPath,
                        sftp ? HVRemoteArgument::GlobbedLocalPath : HVRemoteArgument::LocalPath);
    if (!local)
        return;
    auto remote = quoted(m_remotePath, HVRemoteArgument::RemotePath);
    if (!remote)
        return;
    typeCommand("put", {*local, *remote});
}

void HVPutFileAction::handleReply(const std::vector<std::string>& lines, bool) {
    int code = 0;
    if (m_typedBinary) {
        m_typedBinary = false;
        if (judgeFileReply(lines, &code))
            typeTransfer();
        return;
    }
    if (judgeTransferReply(lines, &code))
        finish(true, code);
}

std::string HVPutFileAction::errorDescription() const {
    return "Could Not Upload File";
}

std::string HVPutFileAction::errorSuggestion(int) const {
    return "The file \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be uploaded. Please be sure you have write access for the remote "
           "server.";
}
