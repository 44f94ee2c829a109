#include "HVProjectTreeView.h"

#include "HVDocumentController.h"
#include "HVFile.h"
#include "HVFileSystem.h"
#include "HVFileTreeModel.h"
#include "HVPreferences.h"
#include "HVProject.h"
#include "HVProjectWindowController.h"
#include "HVRemoteFileRepresentation.h"
#include "HVRootFile.h"
#include "HVUserInterface.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>

namespace {

// "New File" says "New Directory" for a folder and the other way round, as the menus of the
// tree always have.
QString titleFor(QString title, bool directory) {
    if (directory)
        return title.replace(QStringLiteral("File"), QStringLiteral("Directory"));
    return title.replace(QStringLiteral("Directory"), QStringLiteral("File"));
}

} // namespace

HVProjectTreeView::HVProjectTreeView(HVProjectWindowController& controller, QWidget* parent)
    : QTreeView(parent), m_controller(controller) {
    setObjectName("projectTree");
    const bool combined = controller.project()->type() == HVProject::Combo;
    m_model = new HVFileTreeModel(controller.rootFile(), combined, this);
    setModel(m_model);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setAnimated(false);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(HVFileTreeModel::NameColumn, QHeaderView::Stretch);
    header()->setSectionResizeMode(HVFileTreeModel::SideColumn, QHeaderView::Fixed);
    header()->resizeSection(HVFileTreeModel::SideColumn, combined ? 22 : 0);

    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (auto file = m_model->fileForIndex(index))
            file->expand();
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (auto file = m_model->fileForIndex(index))
            file->collapse();
    });
    connect(this, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { open(index, false); });
    connect(this, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { open(index, true); });
    connect(m_model, &HVFileTreeModel::filesDropped, this,
            [this](const QStringList& paths, const QModelIndex& folder) {
                importFiles(paths, m_model->fileForIndex(folder));
            });
}

HVProjectTreeView::~HVProjectTreeView() = default;

std::shared_ptr<HVFile> HVProjectTreeView::selectedFile() const {
    const QModelIndexList selected = selectionModel()->selectedRows(HVFileTreeModel::NameColumn);
    if (selected.isEmpty())
        return nullptr;
    return m_model->fileForIndex(selected.first());
}

void HVProjectTreeView::selectFile(const HVFile& file) {
    QModelIndex index = m_model->indexForFile(&file);
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    scrollTo(index);
}

void HVProjectTreeView::open(const QModelIndex& index, bool doubleClick) {
    auto file = m_model->fileForIndex(index);
    if (!file)
        return;
    const bool onDoubleClick =
        HVPreferences::sharedInstance().boolForKey("HVDoubleClickToOpenFiles").value_or(false);
    if (file->fileType() == HVFile::Directory) {
        if (doubleClick)
            setExpanded(index, !isExpanded(index));
        return;
    }
    if (doubleClick == onDoubleClick)
        m_controller.openNode(file);
}

void HVProjectTreeView::contextMenuEvent(QContextMenuEvent* event) {
    QModelIndex index = indexAt(event->pos());
    if (index.isValid())
        setCurrentIndex(index);
    else
        clearSelection();
    QMenu* menu = makeContextMenu();
    menu->exec(event->globalPos());
    menu->deleteLater();
}

QMenu* HVProjectTreeView::makeContextMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName("projectTreeMenu");
    auto file = selectedFile();
    const bool directory = file && file->fileType() == HVFile::Directory;
    const bool hasQueue = m_controller.rootFile() && m_controller.rootFile()->remoteQueue();
    menu->addAction(tr("New File…"), this, &HVProjectTreeView::newFile);
    menu->addAction(tr("New Folder…"), this, &HVProjectTreeView::newFolder);
    menu->addSeparator();
    QAction* rename = menu->addAction(titleFor(tr("Rename File"), directory), this,
                                      &HVProjectTreeView::renameSelection);
    QAction* duplicate = menu->addAction(titleFor(tr("Duplicate File"), directory), this,
                                         &HVProjectTreeView::duplicateSelection);
    QAction* remove = menu->addAction(titleFor(tr("Delete File"), directory), this,
                                      &HVProjectTreeView::deleteSelection);
    menu->addSeparator();
    menu->addAction(titleFor(tr("Refresh Directory"), true), this,
                    &HVProjectTreeView::refreshSelection);
    menu->addAction(tr("Import Files…"), this, qOverload<>(&HVProjectTreeView::importFiles));
    menu->addSeparator();
    QAction* upload = menu->addAction(titleFor(tr("Upload File"), directory), this,
                                      &HVProjectTreeView::uploadSelection);
    QAction* download = menu->addAction(titleFor(tr("Download File"), directory), this,
                                        &HVProjectTreeView::downloadSelection);
    rename->setEnabled(bool(file));
    duplicate->setEnabled(file && file->localRepresentation());
    remove->setEnabled(bool(file));
    upload->setEnabled(file && hasQueue && file->localRepresentation());
    download->setEnabled(file && hasQueue && file->remoteRepresentation());
    return menu;
}

void HVProjectTreeView::askForNewName(bool folder) {
    auto directory = m_controller.targetDirectory(selectedFile());
    if (!directory)
        return;
    HVUserInterface::SavePanelOptions options;
    options.title = folder ? "New Folder" : "New File";
    options.directory = directory->path();
    HVUserInterface::shared().runSavePanel(
        options, &m_controller, [self = QPointer(this), folder](std::optional<std::string> path) {
            if (!path || !self)
                return;
            HVProjectTreeView* view = self;
            auto& controller = view->m_controller;
            auto parent = controller.nodeForPath(HVFileSystem::deletingLastPathComponent(*path));
            const std::string name = HVFileSystem::lastPathComponent(*path);
            if (!parent) {
                // Outside the project: an ordinary file of its own.
                if (!folder && HVFileSystem::writeFileAtomically(*path, "", nullptr))
                    HVDocumentController::sharedController().openDocumentWithContentsOfFile(*path,
                                                                                            true);
                return;
            }
            HVError error;
            auto made = folder ? controller.newFolder(parent, name, &error)
                               : controller.newFile(parent, name, &error);
            if (!made && !error.description().empty())
                HVUserInterface::shared().presentError(error, &controller, nullptr);
            else if (made)
                view->selectFile(*made);
        });
}

void HVProjectTreeView::newFile() {
    askForNewName(false);
}

void HVProjectTreeView::newFolder() {
    askForNewName(true);
}

void HVProjectTreeView::renameSelection() {
    QModelIndex index = currentIndex();
    if (index.isValid())
        edit(index.siblingAtColumn(HVFileTreeModel::NameColumn));
}

void HVProjectTreeView::duplicateSelection() {
    if (auto file = selectedFile())
        file->duplicate();
}

void HVProjectTreeView::deleteSelection() {
    m_controller.deleteFile(selectedFile());
}

void HVProjectTreeView::refreshSelection() {
    m_controller.refresh(selectedFile());
}

void HVProjectTreeView::uploadSelection() {
    if (auto file = selectedFile())
        file->upload();
}

void HVProjectTreeView::downloadSelection() {
    if (auto file = selectedFile())
        file->download();
}

void HVProjectTreeView::importFiles() {
    auto folder = m_controller.targetDirectory(selectedFile());
    HVUserInterface::OpenPanelOptions options;
    options.title = "Import Files";
    options.chooseDirectories = true;
    HVUserInterface::shared().runOpenPanel(
        options, &m_controller, [self = QPointer(this), folder](std::vector<std::string> paths) {
            QStringList list;
            for (const auto& path : paths)
                list << QString::fromStdString(path);
            if (self && !list.isEmpty())
                self->importFiles(list, folder);
        });
}

void HVProjectTreeView::importFiles(const QStringList& paths,
                                    const std::shared_ptr<HVFile>& folder) {
    HVError question(HVErrorDomain, 0, "File Import",
                     paths.size() == 1 ? "Would you like to move the file, or copy it?"
                                       : "Would you like to move the files, or copy them?",
                     {"Move", "Copy", "Cancel"});
    std::vector<std::string> list;
    for (const QString& path : paths)
        list.push_back(path.toStdString());
    std::weak_ptr<HVFile> target = folder;
    HVUserInterface::shared().presentError(
        question, &m_controller, [self = QPointer(this), list, target](std::size_t option) {
            if (option > 1 || !self)
                return;
            auto& controller = self->m_controller;
            HVError error;
            controller.importFiles(list, target.lock(),
                                   option == 0 ? HVProjectWindowController::ImportMode::Move
                                               : HVProjectWindowController::ImportMode::Copy,
                                   &error);
            if (!error.description().empty())
                HVUserInterface::shared().presentError(error, &controller, nullptr);
        });
}
