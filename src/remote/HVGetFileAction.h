#pragma once

#include "HVRemoteFileAction.h"

#include <cstdint>

// Downloads a file. The client writes into a fresh private folder ".halvet-partial-XXXXXX"
// beside the local path; only a transfer that succeeded (and, when the listing's size is known,
// has that size) is renamed over the local path. Anything else is deleted: a client may leave
// an empty or partial file behind on failure. FTP types "binary" first.
class HVGetFileAction : public HVRemoteFileAction {
public:
    HVGetFileAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string remotePath,
                    std::string localPath);
    ~HVGetFileAction() override;
    void setExpectedSize(std::uint64_t size) { m_expectedSize = size; }

protected:
    void start() override;
    // A download run again starts a new partial file: the old one goes first.
    void resetProgress() override { removePartial(); }
    void handleReply(const std::vector<std::string>& lines, bool atPrompt) override;
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;

private:
    void typeTransfer();
    void removePartial();

    std::optional<std::uint64_t> m_expectedSize;
    std::string m_partialFolder;
    std::string m_partialFile;
    bool m_typedBinary = false;
};
