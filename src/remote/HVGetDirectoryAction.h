#pragma once

#include "HVRemoteDirectoryAction.h"
#include "HVRemoteFile.h"

// Downloads a directory: makes the local folder (one level; an existing folder is used),
// lists the remote one, and gets each entry into the folder, directories recursively. Every
// local path is checked to stay inside the folder.
class HVGetDirectoryAction : public HVRemoteDirectoryAction {
public:
    HVGetDirectoryAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                         std::string remotePath, std::string localPath);

protected:
    void start() override;
    void resetProgress() override;
    void stepFinished(HVRemoteFileAction& step, bool success, int statusCode) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;

private:
    void getNext(int lastStatusCode);

    bool m_listed = false;
    std::vector<HVRemoteFile> m_entries;
    std::size_t m_next = 0;
};
