#pragma once

#include "HVFile.h"

// The top of a project's tree: the project's root directory, the project's remote queue and
// the watcher that tells the tree of changes made on disk behind its back.
class HVRootFile final : public HVFile {
public:
    // A root on a network file system is never watched: changes there are not reported.
    static std::shared_ptr<HVRootFile> initWithPath(std::string path, bool watchForChanges = true);
    ~HVRootFile() override;

    bool remoteOnly() const { return m_remoteOnly; }
    void setRemoteOnly(bool remoteOnly) { m_remoteOnly = remoteOnly; }
    const std::shared_ptr<HVRemoteFilesQueue>& remoteQueue() const { return m_queue; }
    // Every node whose children were listed is listed again through the new queue.
    void setRemoteQueue(std::shared_ptr<HVRemoteFilesQueue> queue);
    HVKQueue* fileWatcher() const { return m_watcher.get(); }

    // With the components of an absolute path: the root itself, or a node below it.
    std::shared_ptr<HVFile> childWithPath(const std::vector<std::string>& components,
                                          bool load) override;

    // Whether the path lies on NFS, SMB/CIFS or a FUSE file system such as sshfs.
    static bool isOnNetworkFileSystem(const std::string& path);

private:
    explicit HVRootFile(std::string path);

    bool m_remoteOnly = false;
    std::shared_ptr<HVRemoteFilesQueue> m_queue;
    std::unique_ptr<HVKQueue> m_watcher;
};
