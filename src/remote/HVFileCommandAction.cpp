#include "HVFileCommandAction.h"

#include "HVFileSystem.h"

HVFileCommandAction::HVFileCommandAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                         std::string remotePath)
    : HVRemoteFileAction(std::move(connection)) {
    m_remotePath = std::move(remotePath);
}

void HVFileCommandAction::start() {
    std::string verb;
    std::vector<std::string> arguments;
    if (makeCommand(verb, arguments))
        typeCommand(verb, arguments);
}

void HVFileCommandAction::handleReply(const std::vector<std::string>& lines, bool) {
    int code = 0;
    if (judgeFileReply(lines, &code))
        finish(true, code);
}

// Change directory.

HVChangeDirectoryAction::HVChangeDirectoryAction(
    std::shared_ptr<HVRemoteFilesConnection> connection, std::string remotePath)
    : HVFileCommandAction(std::move(connection), std::move(remotePath)) {}

bool HVChangeDirectoryAction::makeCommand(std::string& verb, std::vector<std::string>& arguments) {
    auto path = quoted(m_remotePath.empty() ? "." : m_remotePath, HVRemoteArgument::RemotePath);
    if (!path)
        return false;
    verb = "cd";
    arguments = {*path};
    return true;
}

std::string HVChangeDirectoryAction::errorDescription() const {
    return "Could Not Change Directories";
}

std::string HVChangeDirectoryAction::errorSuggestion(int) const {
    return "Could not change to directory \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\". It may not exist or you may not have permission to view the directory.";
}

// Make directory.

HVMakeDirectoryFileAction::HVMakeDirectoryFileAction(
    std::shared_ptr<HVRemoteFilesConnection> connection, std::string remotePath)
    : HVFileCommandAction(std::move(connection), std::move(remotePath)) {}

bool HVMakeDirectoryFileAction::makeCommand(std::string& verb,
                                            std::vector<std::string>& arguments) {
    auto path = quoted(m_remotePath, HVRemoteArgument::RemotePath);
    if (!path)
        return false;
    verb = "mkdir";
    arguments = {*path};
    return true;
}

std::string HVMakeDirectoryFileAction::errorDescription() const {
    return "Could Not Make Remote Directory";
}

std::string HVMakeDirectoryFileAction::errorSuggestion(int) const {
    return "The directory \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be created. A directory with that name may already exist, or you may "
           "not have permission to make the directory.";
}

// Delete file.

HVDeleteFileAction::HVDeleteFileAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                       std::string remotePath)
    : HVFileCommandAction(std::move(connection), std::move(remotePath)) {}

bool HVDeleteFileAction::makeCommand(std::string& verb, std::vector<std::string>& arguments) {
    bool sftp = protocol() == HVRemoteProtocol::SFTP;
    auto path = quoted(m_remotePath,
                       sftp ? HVRemoteArgument::GlobbedRemotePath : HVRemoteArgument::RemotePath);
    if (!path)
        return false;
    verb = sftp ? "rm" : "delete";
    arguments = {*path};
    return true;
}

std::string HVDeleteFileAction::errorDescription() const {
    return "Could Not Delete File";
}

std::string HVDeleteFileAction::errorSuggestion(int) const {
    return "The file \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be deleted. It may not exist or you may not have permission to delete "
           "the file.";
}

// Move.

HVMoveFileAction::HVMoveFileAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                   std::string remotePath, std::string newPath)
    : HVFileCommandAction(std::move(connection), std::move(remotePath)) {
    m_newPath = std::move(newPath);
}

bool HVMoveFileAction::makeCommand(std::string& verb, std::vector<std::string>& arguments) {
    auto from = quoted(m_remotePath, HVRemoteArgument::RemotePath);
    if (!from)
        return false;
    auto to = quoted(m_newPath, HVRemoteArgument::RemotePath);
    if (!to)
        return false;
    verb = protocol() == HVRemoteProtocol::WebDAV ? "move" : "rename";
    arguments = {*from, *to};
    return true;
}

std::string HVMoveFileAction::errorDescription() const {
    return "Could Not Rename File";
}

std::string HVMoveFileAction::errorSuggestion(int) const {
    return "The file \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be renamed. It may not exist or you may not have permission to rename "
           "the file";
}

// Change permissions.

HVChmodFileAction::HVChmodFileAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                     std::string remotePath, std::string mode)
    : HVFileCommandAction(std::move(connection), std::move(remotePath)) {
    m_mode = std::move(mode);
}

bool HVChmodFileAction::makeCommand(std::string& verb, std::vector<std::string>& arguments) {
    bool octal = (m_mode.size() == 3 || m_mode.size() == 4) &&
                 m_mode.find_first_not_of("01234567") == std::string::npos;
    if (!octal) {
        fail(0, "The mode \"" + m_mode + "\" is not 3 or 4 octal digits.");
        return false;
    }
    if (protocol() == HVRemoteProtocol::WebDAV) {
        fail(0, "WebDAV servers have no permissions to change.");
        return false;
    }
    bool sftp = protocol() == HVRemoteProtocol::SFTP;
    auto path = quoted(m_remotePath,
                       sftp ? HVRemoteArgument::GlobbedRemotePath : HVRemoteArgument::RemotePath);
    if (!path)
        return false;
    verb = "chmod";
    arguments = {m_mode, *path};
    return true;
}

std::string HVChmodFileAction::errorDescription() const {
    return "Could Not Change Permissions";
}

std::string HVChmodFileAction::errorSuggestion(int) const {
    return "The permissions of file \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be changed to \"" + m_mode +
           "\". It may not exist or you may not have permission to change the permissions.";
}
