#pragma once

#include "HVRemoteFileAction.h"

// Uploads a file; FTP types "binary" first and the transfer only once that succeeded.
class HVPutFileAction : public HVRemoteFileAction {
public:
    HVPutFileAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string localPath,
                    std::string remotePath);

protected:
    void start() override;
    void handleReply(const std::vector<std::string>& lines, bool atPrompt) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;

private:
    void typeTransfer();
    bool m_typedBinary = false;
};
