#pragma once

#include "HVRemoteFileAction.h"

// An action of one command on a remote path, judged as file commands are: FTP and WebDAV by
// the last status code, SFTP by its words.
class HVFileCommandAction : public HVRemoteFileAction {
public:
    HVFileCommandAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                        std::string remotePath);

protected:
    void start() override;
    void handleReply(const std::vector<std::string>& lines, bool atPrompt) override;
    // The verb and quoted arguments; false after failing with the refusal.
    virtual bool makeCommand(std::string& verb, std::vector<std::string>& arguments) = 0;
};

class HVChangeDirectoryAction : public HVFileCommandAction {
public:
    HVChangeDirectoryAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                            std::string remotePath);

protected:
    bool makeCommand(std::string& verb, std::vector<std::string>& arguments) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;
};

class HVMakeDirectoryFileAction : public HVFileCommandAction {
public:
    HVMakeDirectoryFileAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                              std::string remotePath);

protected:
    bool makeCommand(std::string& verb, std::vector<std::string>& arguments) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;
};

class HVDeleteFileAction : public HVFileCommandAction {
public:
    HVDeleteFileAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string remotePath);

protected:
    bool makeCommand(std::string& verb, std::vector<std::string>& arguments) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;
};

class HVMoveFileAction : public HVFileCommandAction {
public:
    HVMoveFileAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string remotePath,
                     std::string newPath);

protected:
    bool makeCommand(std::string& verb, std::vector<std::string>& arguments) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;
};

// The mode is 3 or 4 octal digits; anything else is refused. WebDAV has no permissions, so
// there it is refused as well.
class HVChmodFileAction : public HVFileCommandAction {
public:
    HVChmodFileAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string remotePath,
                      std::string mode);

protected:
    bool makeCommand(std::string& verb, std::vector<std::string>& arguments) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;
};
