#include "HVFileTreeModel.h"

#include "HVFile.h"
#include "HVRootFile.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFont>
#include <QMimeData>
#include <QPalette>
#include <QUrl>
#include <algorithm>
#include <unordered_set>

namespace {

constexpr const char* kNodesMimeType = "application/x-halvet-tree-nodes";

} // namespace

HVFileTreeModel::HVFileTreeModel(std::shared_ptr<HVRootFile> root, bool showsSides, QObject* parent)
    : QAbstractItemModel(parent), m_root(std::move(root)), m_showsSides(showsSides) {
    QFileIconProvider icons;
    m_folderIcon = icons.icon(QFileIconProvider::Folder);
    m_fileIcon = icons.icon(QFileIconProvider::File);
}

HVFileTreeModel::~HVFileTreeModel() = default;

HVFile* HVFileTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<HVFile*>(index.internalPointer()) : m_root.get();
}

std::shared_ptr<HVFile> HVFileTreeModel::fileForIndex(const QModelIndex& index) const {
    HVFile* node = nodeOf(index);
    return node ? node->shared_from_this() : nullptr;
}

const HVFileTreeModel::Listing* HVFileTreeModel::listingOf(const HVFile* node) const {
    auto it = m_listings.find(node);
    return it == m_listings.end() ? nullptr : &it->second;
}

HVFileTreeModel::Listing& HVFileTreeModel::makeListing(HVFile* node) {
    Listing& listing = m_listings[node];
    listing.children = node->children(false);
    for (const auto& child : listing.children)
        m_parents[child.get()] = node;
    return listing;
}

void HVFileTreeModel::forget(HVFile* node) {
    auto it = m_listings.find(node);
    if (it != m_listings.end()) {
        Listing listing = std::move(it->second);
        m_listings.erase(it);
        for (const auto& child : listing.children)
            forget(child.get());
    }
    m_parents.erase(node);
}

QModelIndex HVFileTreeModel::indexForFile(const HVFile* file, int column) const {
    if (!file || file == m_root.get())
        return {};
    auto parent = m_parents.find(file);
    if (parent == m_parents.end())
        return {};
    const Listing* listing = listingOf(parent->second);
    if (!listing)
        return {};
    auto it = std::find_if(listing->children.begin(), listing->children.end(),
                           [&](const auto& child) { return child.get() == file; });
    if (it == listing->children.end())
        return {};
    return createIndex(int(it - listing->children.begin()), column, const_cast<HVFile*>(file));
}

QModelIndex HVFileTreeModel::index(int row, int column, const QModelIndex& parent) const {
    HVFile* node = nodeOf(parent);
    if (!node || row < 0 || column < 0 || column > SideColumn)
        return {};
    const Listing* listing = listingOf(node);
    if (!listing) {
        rowCount(parent);
        listing = listingOf(node);
    }
    if (!listing || std::size_t(row) >= listing->children.size())
        return {};
    return createIndex(row, column, listing->children[std::size_t(row)].get());
}

QModelIndex HVFileTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    auto it = m_parents.find(nodeOf(child));
    if (it == m_parents.end() || it->second == m_root.get())
        return {};
    return indexForFile(it->second);
}

int HVFileTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    HVFile* node = nodeOf(parent);
    if (!node)
        return 0;
    if (const Listing* listing = listingOf(node))
        return int(listing->children.size());
    // A folder the tree has listed already shows its rows at once; the others wait for
    // fetchMore, so that nothing is read before the user opens a folder.
    if (node != m_root.get() && !node->childrenMade())
        return 0;
    if (node == m_root.get() && !node->childrenMade())
        node->children(true);
    return int(const_cast<HVFileTreeModel*>(this)->makeListing(node).children.size());
}

int HVFileTreeModel::columnCount(const QModelIndex&) const {
    return 2;
}

bool HVFileTreeModel::hasChildren(const QModelIndex& parent) const {
    HVFile* node = nodeOf(parent);
    if (!node || parent.column() > 0)
        return false;
    if (node == m_root.get())
        return true;
    if (node->fileType() != HVFile::Directory)
        return false;
    const Listing* listing = listingOf(node);
    return !listing || !listing->children.empty() || !node->childrenMade();
}

bool HVFileTreeModel::canFetchMore(const QModelIndex& parent) const {
    HVFile* node = nodeOf(parent);
    return node && node != m_root.get() && node->fileType() == HVFile::Directory &&
           !listingOf(node);
}

void HVFileTreeModel::fetchMore(const QModelIndex& parent) {
    HVFile* node = nodeOf(parent);
    if (!node || listingOf(node))
        return;
    // Local children are read now; the server's come later and arrive as a refresh.
    const auto& children = node->children(true);
    if (listingOf(node))
        return;
    if (children.empty()) {
        makeListing(node);
        return;
    }
    beginInsertRows(parent, 0, int(children.size()) - 1);
    makeListing(node);
    endInsertRows();
}

void HVFileTreeModel::refresh(HVFile& file) {
    HVFile* node = &file;
    QModelIndex parentIndex = indexForFile(node);
    if (node != m_root.get() && !parentIndex.isValid() && !m_parents.count(node))
        return;
    auto it = m_listings.find(node);
    if (it == m_listings.end()) {
        if (node->childrenMade() && !node->children(false).empty()) {
            beginInsertRows(parentIndex, 0, int(node->children(false).size()) - 1);
            makeListing(node);
            endInsertRows();
        }
    } else {
        auto& rows = it->second.children;
        const auto& now = node->children(false);
        std::unordered_set<const HVFile*> present;
        for (const auto& child : now)
            present.insert(child.get());
        for (int row = int(rows.size()) - 1; row >= 0; --row) {
            if (present.count(rows[std::size_t(row)].get()))
                continue;
            beginRemoveRows(parentIndex, row, row);
            auto gone = rows[std::size_t(row)];
            rows.erase(rows.begin() + row);
            // A node moved to a folder that was redrawn first already belongs there.
            if (auto owner = m_parents.find(gone.get());
                owner != m_parents.end() && owner->second == node)
                forget(gone.get());
            endRemoveRows();
        }
        for (std::size_t row = 0; row < now.size(); ++row) {
            if (row < rows.size() && rows[row] == now[row])
                continue;
            auto found = std::find(rows.begin() + long(row), rows.end(), now[row]);
            if (found != rows.end()) {
                // Renamed into another place: its subtree moves along.
                int from = int(found - rows.begin());
                beginMoveRows(parentIndex, from, from, parentIndex, int(row));
                auto moving = *found;
                rows.erase(found);
                rows.insert(rows.begin() + long(row), moving);
                endMoveRows();
                continue;
            }
            beginInsertRows(parentIndex, int(row), int(row));
            rows.insert(rows.begin() + long(row), now[row]);
            m_parents[now[row].get()] = node;
            endInsertRows();
        }
        // Every row is redrawn: names, sides and pending marks may have changed.
        if (!rows.empty())
            emit dataChanged(index(0, NameColumn, parentIndex),
                             index(int(rows.size()) - 1, SideColumn, parentIndex));
    }
    if (parentIndex.isValid())
        emit dataChanged(parentIndex, indexForFile(node, SideColumn));
}

void HVFileTreeModel::setShowsSides(bool showsSides) {
    if (showsSides == m_showsSides)
        return;
    beginResetModel();
    m_showsSides = showsSides;
    endResetModel();
}

QVariant HVFileTreeModel::data(const QModelIndex& index, int role) const {
    HVFile* node = index.isValid() ? nodeOf(index) : nullptr;
    if (!node)
        return {};
    if (index.column() == SideColumn) {
        if (!m_showsSides)
            return {};
        const std::string side = node->indicator();
        switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(side);
        case Qt::ToolTipRole:
            return side == "L"   ? tr("Only on this computer")
                   : side == "R" ? tr("Only on the server")
                                 : tr("On this computer and on the server");
        case Qt::ForegroundRole:
            return QApplication::palette().brush(QPalette::PlaceholderText);
        case Qt::TextAlignmentRole:
            return int(Qt::AlignCenter);
        default:
            return {};
        }
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return QString::fromStdString(node->name());
    case Qt::DecorationRole:
        return node->fileType() == HVFile::Directory ? m_folderIcon : m_fileIcon;
    case Qt::ToolTipRole:
        return QString::fromStdString(node->pathFromRoot());
    case Qt::FontRole:
        if (node->hasPendingOperation()) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

bool HVFileTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    HVFile* node = index.isValid() ? nodeOf(index) : nullptr;
    if (!node || role != Qt::EditRole || index.column() != NameColumn)
        return false;
    const std::string name = value.toString().toStdString();
    if (name.empty() || name.find('/') != std::string::npos || name == node->name())
        return false;
    node->rename(name);
    return true;
}

Qt::ItemFlags HVFileTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == NameColumn)
        flags |= Qt::ItemIsEditable;
    if (nodeOf(index)->fileType() == HVFile::Directory)
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

Qt::DropActions HVFileTreeModel::supportedDropActions() const {
    return Qt::MoveAction | Qt::CopyAction;
}

QStringList HVFileTreeModel::mimeTypes() const {
    return {QString::fromLatin1(kNodesMimeType), QStringLiteral("text/uri-list")};
}

QMimeData* HVFileTreeModel::mimeData(const QModelIndexList& indexes) const {
    QStringList paths;
    for (const QModelIndex& index : indexes) {
        if (index.column() == NameColumn)
            paths << QString::fromStdString(nodeOf(index)->pathFromRoot());
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kNodesMimeType), paths.join(QChar('\n')).toUtf8());
    return data;
}

bool HVFileTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                   const QModelIndex& parent) {
    HVFile* target = nodeOf(parent);
    if (!target)
        return false;
    if (target->fileType() != HVFile::Directory && target->parent())
        target = target->parent().get();
    if (data->hasFormat(QString::fromLatin1(kNodesMimeType))) {
        const QString paths = QString::fromUtf8(data->data(QString::fromLatin1(kNodesMimeType)));
        auto directory = target->shared_from_this();
        for (const QString& path : paths.split(QChar('\n'), Qt::SkipEmptyParts)) {
            std::shared_ptr<HVFile> node = m_root;
            for (const QString& component : path.split(QChar('/'), Qt::SkipEmptyParts)) {
                node = node ? node->childWithName(component.toStdString(), false) : nullptr;
            }
            if (node && node != directory && node->parent() != directory)
                node->moveToFile(directory);
        }
        return true;
    }
    if (data->hasUrls()) {
        QStringList paths;
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile())
                paths << url.toLocalFile();
        }
        if (!paths.isEmpty())
            emit filesDropped(paths, indexForFile(target));
        return !paths.isEmpty();
    }
    return false;
}
