#pragma once

#include "HVFileRepresentation.h"

class HVRemoteFile;
class HVRemoteFilesQueue;

// The copy of a node on the server: every operation is an action on the project's queue, and
// each completion reaches the delegate on the main thread.
class HVRemoteFileRepresentation final : public HVFileRepresentation {
public:
    static std::shared_ptr<HVRemoteFileRepresentation>
    initWithRemoteFile(const HVRemoteFile& file, std::shared_ptr<HVRemoteFilesQueue> queue);
    // For a node that has no remote side yet (an upload or a new directory will make it).
    static std::shared_ptr<HVRemoteFileRepresentation>
    initWithName(std::string name, int fileType, std::shared_ptr<HVRemoteFilesQueue> queue);
    ~HVRemoteFileRepresentation() override;

    bool isLocal() const override { return false; }
    bool loadFileAttributes() override { return true; }
    // Every call queues a listing.
    bool loadChildren() override;
    bool reloadChildren() override;
    void remove() override;
    bool moveToPath(const std::string& path, Context context) override;
    void rename(const std::string& newName, Context context) override;
    void download();
    void upload();
    void makeDirectory();
    // This representation's operations that have not started leave the queue (an upload
    // list's Cancel); answers how many. They report nothing.
    std::size_t cancelWaitingActions();

    // Where the downloaded copy lives.
    const std::optional<std::string>& localPath() const;
    void setLocalPath(std::optional<std::string> path);
    std::shared_ptr<HVRemoteFilesQueue> remoteQueue() const;
    // The old queue's waiting actions forget this representation.
    void setRemoteQueue(std::shared_ptr<HVRemoteFilesQueue> queue);

private:
    HVRemoteFileRepresentation(std::string name);
    bool queueListing(bool reload);
    struct Core;
    std::shared_ptr<Core> m_core;
};
