#pragma once

#include "HVRemoteFile.h"
#include "HVRemoteFileAction.h"

// Lists a remote directory. FTP succeeds only on a final 226, SFTP unless its output shows a
// failure, WebDAV unless the last status code is an error; the listing is parsed before
// success is reported.
class HVFileListingAction : public HVRemoteFileAction {
public:
    HVFileListingAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string path);
    const std::string& path() const { return m_remotePath; }
    const std::vector<HVRemoteFile>& files() const { return m_files; }

protected:
    void start() override;
    void handleReply(const std::vector<std::string>& lines, bool atPrompt) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;

private:
    std::vector<HVRemoteFile> m_files;
};
