#pragma once

#include "HVRemoteDirectoryAction.h"

// Uploads a folder: makes the remote directory, then puts each entry, folders recursively.
// A failed mkdir goes on only where it means "exists" for sure: FTP 550 and WebDAV 405. sftp
// reports an existing directory as a plain "Failure", the same as any other, so over SFTP the
// upload stops there. Links are uploaded only when they lead to a file inside the folder
// uploaded first; others (and devices, sockets, pipes) are skipped and count as failures.
class HVPutDirectoryAction : public HVRemoteDirectoryAction {
public:
    HVPutDirectoryAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string localPath,
                         std::string remotePath);

protected:
    void start() override;
    void resetProgress() override;
    void stepFinished(HVRemoteFileAction& step, bool success, int statusCode) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;

private:
    void putNext(int lastStatusCode);

    // The resolved top folder: links must stay inside it.
    std::string m_root;
    bool m_madeDirectory = false;
    // SFTP: the folder is being looked at after an ambiguous mkdir failure, kept here.
    bool m_checkingExisting = false;
    std::string m_makeReason;
    int m_makeStatus = 0;
    std::vector<std::string> m_names;
    std::size_t m_next = 0;
};
