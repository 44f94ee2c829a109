#pragma once

#include "HVFileRepresentation.h"
#include "HVKQueue.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HVError;
class HVFileDelegate;
class HVFileNodeDocument;
class HVKQueue;
class HVLocalFileRepresentation;
class HVRemoteFileRepresentation;
class HVRemoteFilesQueue;
class HVRootFile;

// One name at one place in a project's file tree, joining the file's copy on disk and its
// copy on the server; or a lone file opened outside any project. Nodes are shared: a parent
// holds its children, windows hold the nodes of their documents. Main thread only.
class HVFile : public std::enable_shared_from_this<HVFile>,
               public HVFileRepresentationDelegate,
               public HVKQueueWatchable {
public:
    enum FileType { RegularFile = 0, Directory = 1 };
    enum ActiveRepresentation { LocalSide = 0, RemoteSide = 1 };
    using Children = std::vector<std::shared_ptr<HVFile>>;

    // A node with a new local representation of the path.
    static std::shared_ptr<HVFile> initWithPath(std::string path,
                                                std::shared_ptr<HVFile> parent = nullptr);
    // A node holding the representation.
    static std::shared_ptr<HVFile>
    initWithFileRepresentation(std::shared_ptr<HVFileRepresentation> representation,
                               std::shared_ptr<HVFile> parent);
    ~HVFile() override;
    HVFile(const HVFile&) = delete;
    HVFile& operator=(const HVFile&) = delete;

    // The question the window asks before deleting a node that has no remote side; its
    // options are "Move to Trash", "Delete" and "Cancel", in that order.
    static HVError deletionQuestion();

    // Parent's path joined with the name; a node without parent keeps the path it was given.
    std::string path() const;
    std::string name() const;
    FileType fileType() const;
    std::shared_ptr<HVFile> parent() const { return m_parent.lock(); }
    // Made on first request; names the node's private download folder.
    const std::string& uuid() const;
    // The path below the root without a leading "/": the key of per-file settings and the
    // remote path. The root itself gives "", a path outside the root is returned unchanged.
    std::string pathFromRoot() const;
    std::string pathFromRootForPath(const std::string& path) override;
    // True when this is a directory and the path lies below it.
    bool containsPath(const std::string& path) const;
    // "L" only local, "R" only remote, "" both.
    std::string indicator() const;
    bool isTextFile() const;
    bool hasPendingOperation() const { return m_pending; }

    const std::shared_ptr<HVLocalFileRepresentation>& localRepresentation() const {
        return m_local;
    }
    const std::shared_ptr<HVRemoteFileRepresentation>& remoteRepresentation() const {
        return m_remote;
    }
    ActiveRepresentation activeRepresentation() const { return m_active; }
    // Asked of the root.
    bool remoteOnly() const;
    std::shared_ptr<HVRemoteFilesQueue> remoteQueue() const;
    HVKQueue* fileWatcher() const;

    std::shared_ptr<HVFileDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<HVFileDelegate> delegate);
    // Only when it is that delegate, for the whole subtree.
    void clearDelegate(const HVFileDelegate* delegate);

    // Cleared by the document itself when it goes (HVFileNodeDocument's destructor).
    HVFileNodeDocument* document() const { return m_document; }
    // Watches the file while a document shows it.
    void setDocument(HVFileNodeDocument* document);

    // The child list, made on first access; only the first access may load it.
    const Children& children(bool load);
    // Whether the child list has been made.
    bool childrenMade() const { return m_children.has_value(); }
    std::size_t countOfChildren();
    std::shared_ptr<HVFile> childAtIndex(std::size_t index);
    std::shared_ptr<HVFile> childWithName(const std::string& name, bool load);
    // Descends one component at a time; none when one is missing.
    virtual std::shared_ptr<HVFile> childWithPath(const std::vector<std::string>& components,
                                                  bool load);
    // Sorted by name ignoring case; an equal name goes after the ones already there.
    void addChild(const std::shared_ptr<HVFile>& child);
    void removeChild(const std::shared_ptr<HVFile>& child);
    // Into the child of the same name, or as a new child.
    std::shared_ptr<HVFile>
    addChildRepresentation(const std::shared_ptr<HVFileRepresentation>& representation);
    // The node of a path below this directory, found or made, told its content changed.
    std::shared_ptr<HVFile> addFileAtPath(const std::string& path);
    // Takes the side the node lacks.
    void mergeWithRepresentation(const std::shared_ptr<HVFileRepresentation>& representation);
    // Lists the directory again (the server too unless localOnly), and every loaded child.
    void refresh(bool localOnly);

    void rename(const std::string& newName);
    // False while another move of the node is under way.
    bool moveToFile(const std::shared_ptr<HVFile>& target);
    // delete: the server's copy first, then the local one.
    void remove();
    void duplicate();
    void moveToTrash();
    void upload();
    void download();
    // Whether the content can be read now; otherwise may start a download.
    bool contentAvailable(bool download);
    // After the content changed locally (a save): uploads when the window wants it. Virtual
    // so that a node whose change finishes later can be stood in for where no server runs.
    virtual void contentsDidChange();
    // For a lone node: the file was moved or renamed.
    void setPath(std::string path);

    bool expanded() const { return m_expanded; }
    bool everExpanded() const { return m_everExpanded; }
    void setExpanded(bool expanded);
    // What the window does when the user opens or closes a directory: a directory opened
    // again is listed again from disk; an open directory is watched.
    void expand();
    void collapse();
    void startWatching();
    void stopWatching();

protected:
    HVFile(std::string path, std::shared_ptr<HVFile> parent);
    void takeRepresentation(const std::shared_ptr<HVFileRepresentation>& representation);
    const HVRootFile* root() const;
    std::shared_ptr<HVFile> childWithPathFromHere(const std::vector<std::string>& components,
                                                  std::size_t first, bool load);
    std::optional<Children> m_children;
    std::shared_ptr<HVRemoteFileRepresentation> m_remote;

private:
    friend class HVFileNodeDocument;

    // HVFileRepresentationDelegate
    std::string pathForFileRepresentation(const HVFileRepresentation&) override;
    std::string pathForRemoteFileRepresentation(const HVFileRepresentation&) override;
    std::string pathFromRootForFileRepresentation(const HVFileRepresentation&) override;
    int typeForFileRepresentation(const HVFileRepresentation&) override;
    void didLoadChildren(HVFileRepresentation&, const Representations&) override;
    void didReloadChildren(HVFileRepresentation&, const Representations&) override;
    void didDelete(HVFileRepresentation&, bool success) override;
    void didMoveToTrash(HVFileRepresentation&, bool success) override;
    void didDuplicate(HVFileRepresentation&, std::shared_ptr<HVFileRepresentation>) override;
    void didMove(HVFileRepresentation&, bool success, const Context&) override;
    void didRename(HVFileRepresentation&, bool success, const Context&) override;
    void hadError(HVFileRepresentation&, const HVError&) override;
    void contentBecameAvailable(HVFileRepresentation&) override;
    void contentChangeFinished(HVFileRepresentation&) override;
    void contentTransferFailed(HVFileRepresentation&, const HVError&) override;

    // HVKQueueWatchable
    std::string watchIdentifier() const override;
    std::string watchPath() const override;
    void watcherNoticedChange(std::uint32_t flags) override;

    HVFileRepresentation* preferredRepresentation() const;
    std::shared_ptr<HVRemoteFileRepresentation> makeRemoteRepresentation();
    void childWillUpload();
    void localRepresentationDisappeared();
    void remoteRepresentationDisappeared();
    void leaveParent();
    void pathDidChange();
    void needsRefresh(HVFile& file);
    void mergeWithPartner(const std::shared_ptr<HVFile>& partner, bool movedRemoteSide);
    void splitRepresentations(const std::shared_ptr<HVFile>& oldParent);
    void finishMove(const std::shared_ptr<HVFile>& target);
    std::shared_ptr<HVFile> partnerFor(const std::shared_ptr<HVFile>& directory,
                                       const std::string& name);
    void addUploadEntry();
    void cancelUpload();
    void presentError(const HVError& error);
    void replaceRemoteQueue(const std::shared_ptr<HVRemoteFilesQueue>& queue);

    friend class HVRootFile;

    std::string m_path;
    std::weak_ptr<HVFile> m_parent;
    std::shared_ptr<HVFile> m_newParent;
    std::shared_ptr<HVLocalFileRepresentation> m_local;
    ActiveRepresentation m_active = LocalSide;
    std::weak_ptr<HVFileDelegate> m_delegate;
    HVFileNodeDocument* m_document = nullptr;
    mutable std::string m_uuid;
    bool m_expanded = false;
    bool m_everExpanded = false;
    bool m_pending = false;
    std::optional<std::uint64_t> m_uploadEntry;
};
