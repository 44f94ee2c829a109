#pragma once

#include "HVMultiFileWindowController.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class HVFile;
class HVProject;
class HVRootFile;

// The model of a project window: the tabs of the project's files, the file tree beside them,
// and the project's news (connection, status, errors). The tree commands live here, so that
// the widgets only show and forward.
class HVProjectWindowController : public HVMultiFileWindowController {
public:
    HVProjectWindowController(HVDocument* mainDocument, std::shared_ptr<HVProject> project);
    ~HVProjectWindowController() override;

    const std::shared_ptr<HVProject>& project() const { return m_project; }
    std::shared_ptr<HVRootFile> rootFile() const;

    std::shared_ptr<HVFileDocument>
    createDocumentForFile(const std::shared_ptr<HVFile>& file) override;
    std::shared_ptr<HVFile> fileForPath(const std::string& path) override;
    // A document saved under a new path inside the project joins the tree there.
    std::shared_ptr<HVFile> backingFileWillChangeToPath(HVFileDocument* document,
                                                        const std::string& path) override;
    // The node of a path below the root, loading the folders on the way; none outside it.
    std::shared_ptr<HVFile> nodeForPath(const std::string& path);

    // What the window does at its first showing: connect when the project asks to.
    void windowDidOpen();
    void connect();
    void disconnect();
    bool isConnected() const;

    // The tree commands. A directory, or the directory of a file, or the root: where new
    // things go.
    std::shared_ptr<HVFile> targetDirectory(const std::shared_ptr<HVFile>& selected) const;
    // Writes an empty file (or makes a folder) in the directory and adds it to the tree; a new
    // file opens. The error tells why nothing was made.
    std::shared_ptr<HVFile> newFile(const std::shared_ptr<HVFile>& directory,
                                    const std::string& name, HVError* error);
    std::shared_ptr<HVFile> newFolder(const std::shared_ptr<HVFile>& directory,
                                      const std::string& name, HVError* error);
    // Asks first when the node has no copy on the server: trash, delete or nothing.
    void deleteFile(const std::shared_ptr<HVFile>& file);
    // The selected directory, the parent of a selected file, or the root.
    void refresh(const std::shared_ptr<HVFile>& selected);
    void refreshProject();
    // Files dropped from outside: moved or copied into the directory, then added.
    enum class ImportMode { Move, Copy };
    std::vector<std::shared_ptr<HVFile>> importFiles(const std::vector<std::string>& paths,
                                                     const std::shared_ptr<HVFile>& directory,
                                                     ImportMode mode, HVError* error);
    // Opens a file from the tree: a file of unknown kind asks first (the answer comes back
    // through the hook), an ignorable one does not open.
    HVFileDocument* openNode(const std::shared_ptr<HVFile>& file);

    // The window listens here.
    std::function<void(HVFile& file)> onFileNeedsRefresh;
    std::function<void(HVFile& file)> onStartRenaming;
    std::function<void(const std::string& status, bool progress)> onStatus;
    std::function<void(bool connected)> onConnectionChanged;
    std::function<void()> onNeedsCredentials;
    std::function<void(const std::shared_ptr<HVFile>& file)> onUnknownFileType;

private:
    class Listener;
    // The tree's node of a path below the root, made from the file on disk when the tree has
    // not listed it yet; none outside the root.
    std::shared_ptr<HVFile> nodeJoiningTree(const std::string& path);
    void closeTabOf(HVFile& file);
    std::shared_ptr<HVProject> m_project;
    std::shared_ptr<Listener> m_listener;
};
