#pragma once

#include <QTreeView>
#include <memory>

class HVFile;
class HVFileTreeModel;
class HVProjectWindowController;
class QMenu;

// The file tree of a project window: opens files, expands folders (which starts watching
// them), and offers every tree command in its context menu.
class HVProjectTreeView : public QTreeView {
    Q_OBJECT
public:
    HVProjectTreeView(HVProjectWindowController& controller, QWidget* parent = nullptr);
    ~HVProjectTreeView() override;

    HVFileTreeModel* fileModel() const { return m_model; }
    std::shared_ptr<HVFile> selectedFile() const;
    void selectFile(const HVFile& file);
    // The context menu for the selection, its titles saying "Directory" for a folder.
    QMenu* makeContextMenu();

    void newFile();
    void newFolder();
    void renameSelection();
    void duplicateSelection();
    void deleteSelection();
    void refreshSelection();
    void uploadSelection();
    void downloadSelection();
    void importFiles();
    void importFiles(const QStringList& paths, const std::shared_ptr<HVFile>& folder);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void open(const QModelIndex& index, bool doubleClick);
    void askForNewName(bool folder);

    HVProjectWindowController& m_controller;
    HVFileTreeModel* m_model;
};
