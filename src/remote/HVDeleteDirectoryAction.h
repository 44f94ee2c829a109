#pragma once

#include "HVRemoteDirectoryAction.h"
#include "HVRemoteFile.h"

// Deletes a remote directory: lists it, deletes each entry (directories recursively), then
// removes it with the protocol's rmdir (rmcol for WebDAV), whose reply is the result.
class HVDeleteDirectoryAction : public HVRemoteDirectoryAction {
public:
    HVDeleteDirectoryAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                            std::string remotePath);

protected:
    void start() override;
    void resetProgress() override;
    void stepFinished(HVRemoteFileAction& step, bool success, int statusCode) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;

private:
    void deleteNext();

    bool m_listed = false;
    bool m_removing = false;
    std::vector<HVRemoteFile> m_entries;
    std::size_t m_next = 0;
};
