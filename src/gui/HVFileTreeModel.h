#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <unordered_map>
#include <vector>

class HVFile;
class HVRootFile;

// The project tree as Qt's views see it. It keeps its own copy of each shown folder's child
// list (which also keeps those nodes alive while a row points at them) and brings it in line
// with the tree whenever the tree says a node needs redisplaying. Folders list their children
// only when first expanded.
class HVFileTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { NameColumn = 0, SideColumn = 1 };
    HVFileTreeModel(std::shared_ptr<HVRootFile> root, bool showsSides, QObject* parent = nullptr);
    ~HVFileTreeModel() override;

    std::shared_ptr<HVFile> fileForIndex(const QModelIndex& index) const;
    QModelIndex indexForFile(const HVFile* file, int column = NameColumn) const;
    // The tree changed below this node: rows come and go, the node's own row is redrawn.
    void refresh(HVFile& file);
    void setShowsSides(bool showsSides);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

signals:
    // Files dragged in from outside the tree onto a folder.
    void filesDropped(const QStringList& paths, const QModelIndex& folder);

private:
    struct Listing {
        std::vector<std::shared_ptr<HVFile>> children;
    };
    HVFile* nodeOf(const QModelIndex& index) const;
    const Listing* listingOf(const HVFile* node) const;
    // Takes the node's current children as its rows, without telling the views.
    Listing& makeListing(HVFile* node);
    void forget(HVFile* node);

    std::shared_ptr<HVRootFile> m_root;
    bool m_showsSides;
    std::unordered_map<const HVFile*, Listing> m_listings;
    std::unordered_map<const HVFile*, HVFile*> m_parents;
    QIcon m_folderIcon;
    QIcon m_fileIcon;
};
