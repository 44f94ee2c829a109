#include "HVFile.h"

#include "HVCaseInsensitive.h"
#include "HVDispatcher.h"
#include "HVError.h"
#include "HVFileCategories.h"
#include "HVFileDelegate.h"
#include "HVFileFilters.h"
#include "HVFileNodeDocument.h"
#include "HVFileSystem.h"
#include "HVLocalFileRepresentation.h"
#include "HVLocalization.h"
#include "HVPrivateDownloadDirectory.h"
#include "HVRemoteFileRepresentation.h"
#include "HVRemoteFilesQueue.h"
#include "HVRootFile.h"
#include "HVUUID.h"
#include "HVUploadList.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <syslog.h>
#include <unordered_map>

namespace {

bool isFiltered(const std::string& name) {
    return HVFileFilters::sharedFilters().stringMatchesFilters(name);
}

} // namespace

// --- HVFileNodeDocument

HVFileNodeDocument::~HVFileNodeDocument() {
    if (auto node = m_node.lock(); node && node->m_document == this) {
        node->m_document = nullptr;
        node->stopWatching();
    }
}

// --- Making nodes

HVFile::HVFile(std::string path, std::shared_ptr<HVFile> parent)
    : m_path(std::move(path)), m_parent(parent) {
    if (parent)
        m_delegate = parent->m_delegate;
}

HVFile::~HVFile() = default;

std::shared_ptr<HVFile> HVFile::initWithPath(std::string path, std::shared_ptr<HVFile> parent) {
    std::shared_ptr<HVFile> node(new HVFile(path, std::move(parent)));
    node->takeRepresentation(HVLocalFileRepresentation::initWithPath(path));
    return node;
}

std::shared_ptr<HVFile>
HVFile::initWithFileRepresentation(std::shared_ptr<HVFileRepresentation> representation,
                                   std::shared_ptr<HVFile> parent) {
    std::string path =
        parent ? HVFileSystem::appendingPathComponent(parent->path(), representation->name())
               : representation->name();
    std::shared_ptr<HVFile> node(new HVFile(std::move(path), std::move(parent)));
    node->takeRepresentation(representation);
    return node;
}

void HVFile::takeRepresentation(const std::shared_ptr<HVFileRepresentation>& representation) {
    if (!representation)
        return;
    std::weak_ptr<HVFileRepresentationDelegate> self = shared_from_this();
    if (representation->isLocal()) {
        m_local = std::static_pointer_cast<HVLocalFileRepresentation>(representation);
        if (!m_remote)
            m_active = LocalSide;
    } else {
        m_remote = std::static_pointer_cast<HVRemoteFileRepresentation>(representation);
        if (!m_local)
            m_active = RemoteSide;
    }
    representation->setDelegate(self);
}

HVError HVFile::deletionQuestion() {
    return HVError(HVErrorDomain, 14, HVLocalization::localizedString("Delete File"),
                   HVLocalization::localizedString(
                       "Would you like to delete the file immediately, or move it to the trash?"),
                   {HVLocalization::localizedString("Move to Trash"),
                    HVLocalization::localizedString("Delete"),
                    HVLocalization::localizedString("Cancel")});
}

// --- Names and paths

HVFileRepresentation* HVFile::preferredRepresentation() const {
    if (m_local)
        return m_local.get();
    return m_remote.get();
}

std::string HVFile::name() const {
    if (const HVFileRepresentation* representation = preferredRepresentation();
        representation && !representation->name().empty())
        return representation->name();
    return HVFileSystem::lastPathComponent(m_path);
}

std::string HVFile::path() const {
    // The root and a lone node keep their path; the rest follow their parents, so that a
    // rename or move of a directory moves everything below it.
    auto parent = m_parent.lock();
    if (!parent)
        return m_path;
    return HVFileSystem::appendingPathComponent(parent->path(), name());
}

HVFile::FileType HVFile::fileType() const {
    const HVFileRepresentation* representation = preferredRepresentation();
    if (!representation)
        return RegularFile;
    // A representation made before its file existed learns its type when first asked.
    if (m_local && representation == m_local.get() && m_local->mode() == 0)
        m_local->loadFileAttributes();
    return representation->fileType() == HVFileRepresentation::Directory ? Directory : RegularFile;
}

const std::string& HVFile::uuid() const {
    if (m_uuid.empty())
        m_uuid = HVMakeUUID();
    return m_uuid;
}

const HVRootFile* HVFile::root() const {
    const HVFile* top = this;
    for (auto parent = m_parent.lock(); parent; parent = parent->m_parent.lock())
        top = parent.get();
    return dynamic_cast<const HVRootFile*>(top);
}

std::string HVFile::pathFromRoot() const {
    return const_cast<HVFile*>(this)->pathFromRootForPath(path());
}

std::string HVFile::pathFromRootForPath(const std::string& path) {
    // A lone node is its own root.
    const HVFile* top = this;
    for (auto parent = m_parent.lock(); parent; parent = parent->m_parent.lock())
        top = parent.get();
    const std::string& rootPath = top->m_path;
    if (path == rootPath)
        return {};
    if (path.size() > rootPath.size() && path.compare(0, rootPath.size(), rootPath) == 0 &&
        path[rootPath.size()] == '/')
        return path.substr(rootPath.size() + 1);
    return path;
}

bool HVFile::containsPath(const std::string& path) const {
    const std::string own = this->path();
    return fileType() == Directory && path.size() > own.size() &&
           path.compare(0, own.size(), own) == 0 && path[own.size()] == '/';
}

std::string HVFile::indicator() const {
    if (m_local && m_remote)
        return {};
    return HVLocalization::localizedString(m_local ? "L" : "R");
}

bool HVFile::isTextFile() const {
    return HVFileCategories::sharedCategories().pathIsText(path());
}

bool HVFile::remoteOnly() const {
    const HVRootFile* top = root();
    return top && top->remoteOnly();
}

std::shared_ptr<HVRemoteFilesQueue> HVFile::remoteQueue() const {
    const HVRootFile* top = root();
    return top ? top->remoteQueue() : nullptr;
}

HVKQueue* HVFile::fileWatcher() const {
    const HVRootFile* top = root();
    return top ? top->fileWatcher() : nullptr;
}

void HVFile::setDelegate(std::weak_ptr<HVFileDelegate> delegate) {
    m_delegate = std::move(delegate);
}

void HVFile::clearDelegate(const HVFileDelegate* delegate) {
    if (m_delegate.lock().get() == delegate)
        m_delegate.reset();
    if (m_children)
        for (const auto& child : *m_children)
            child->clearDelegate(delegate);
}

void HVFile::needsRefresh(HVFile& file) {
    if (auto delegate = m_delegate.lock())
        delegate->fileNeedsRefresh(file);
}

void HVFile::presentError(const HVError& error) {
    if (auto delegate = m_delegate.lock())
        delegate->presentErrorAlert(error);
}

// --- Documents and watching

void HVFile::setDocument(HVFileNodeDocument* document) {
    if (m_document == document)
        return;
    m_document = document;
    if (document) {
        document->m_node = weak_from_this();
        startWatching();
        return;
    }
    if (fileType() != Directory)
        stopWatching();
    if (remoteOnly()) {
        // The downloaded copy served only the document.
        if (m_remote)
            m_remote->setLocalPath(std::nullopt);
        m_local.reset();
        if (m_remote)
            m_active = RemoteSide;
    }
}

void HVFile::startWatching() {
    HVKQueue* watcher = fileWatcher();
    if (!watcher || !m_local)
        return;
    uuid();
    if (fileType() == Directory && (m_expanded || m_everExpanded)) {
        watcher->watchFile(shared_from_this(), HVKQueueWatchType::Directory);
        if (m_children)
            for (const auto& child : *m_children)
                if (child->m_expanded && child->fileType() == Directory)
                    child->startWatching();
    } else {
        watcher->watchFile(shared_from_this(), HVKQueueWatchType::File);
    }
}

void HVFile::stopWatching() {
    if (HVKQueue* watcher = fileWatcher())
        watcher->stopWatchingFile(*this);
}

std::string HVFile::watchIdentifier() const {
    return m_uuid;
}

std::string HVFile::watchPath() const {
    return path();
}

void HVFile::watcherNoticedChange(std::uint32_t) {
    HVDispatcher::main().post([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->fileType() != Directory) {
            if (self->m_document)
                self->m_document->fileContentsChangedExternally();
        } else if (self->m_local) {
            self->m_local->reloadChildren();
        }
    });
}

void HVFile::setExpanded(bool expanded) {
    m_expanded = expanded;
    if (expanded)
        m_everExpanded = true;
}

void HVFile::expand() {
    const bool before = m_everExpanded;
    setExpanded(true);
    if (before)
        refresh(true);
    startWatching();
}

void HVFile::collapse() {
    setExpanded(false);
    // The root stays watched for the life of the project.
    if (!m_parent.expired())
        stopWatching();
}

// --- Children

const HVFile::Children& HVFile::children(bool load) {
    if (!m_children) {
        m_children.emplace();
        if (load) {
            // The list exists before the listing arrives: a local one arrives inside this call.
            auto self = shared_from_this();
            if (m_local && !remoteOnly())
                m_local->loadChildren();
            if (m_remote)
                m_remote->loadChildren();
        }
    }
    return *m_children;
}

std::size_t HVFile::countOfChildren() {
    return children(true).size();
}

std::shared_ptr<HVFile> HVFile::childAtIndex(std::size_t index) {
    const Children& list = children(true);
    return index < list.size() ? list[index] : nullptr;
}

std::shared_ptr<HVFile> HVFile::childWithName(const std::string& name, bool load) {
    for (const auto& child : children(load))
        if (child->name() == name)
            return child;
    return nullptr;
}

std::shared_ptr<HVFile> HVFile::childWithPath(const std::vector<std::string>& components,
                                              bool load) {
    return childWithPathFromHere(components, 0, load);
}

std::shared_ptr<HVFile> HVFile::childWithPathFromHere(const std::vector<std::string>& components,
                                                      std::size_t first, bool load) {
    std::shared_ptr<HVFile> node = shared_from_this();
    for (std::size_t i = first; i < components.size() && node; ++i) {
        if (components[i].empty())
            continue;
        node = node->childWithName(components[i], load);
    }
    return node;
}

void HVFile::addChild(const std::shared_ptr<HVFile>& child) {
    if (!m_children)
        m_children.emplace();
    const std::string name = child->name();
    auto at = std::find_if(m_children->begin(), m_children->end(), [&](const auto& other) {
        return HVCaseInsensitive::compare(name, other->name()) < 0;
    });
    m_children->insert(at, child);
    child->m_parent = weak_from_this();
}

void HVFile::removeChild(const std::shared_ptr<HVFile>& child) {
    if (!m_children)
        return;
    auto at = std::find(m_children->begin(), m_children->end(), child);
    if (at == m_children->end())
        return;
    m_children->erase(at);
    if (child->m_parent.lock().get() == this)
        child->m_parent.reset();
}

std::shared_ptr<HVFile>
HVFile::addChildRepresentation(const std::shared_ptr<HVFileRepresentation>& representation) {
    if (m_children)
        for (const auto& child : *m_children)
            if (child->name() == representation->name()) {
                child->mergeWithRepresentation(representation);
                return child;
            }
    auto child = initWithFileRepresentation(representation, shared_from_this());
    addChild(child);
    return child;
}

void HVFile::mergeWithRepresentation(const std::shared_ptr<HVFileRepresentation>& representation) {
    if (representation->isLocal()) {
        if (!m_local) {
            takeRepresentation(representation);
            if (m_expanded && fileType() == Directory)
                startWatching();
        }
    } else if (!m_remote) {
        takeRepresentation(representation);
        // Opened before the server's copy was known: list the server's side too.
        if (m_children && fileType() == Directory)
            m_remote->loadChildren();
    }
    needsRefresh(*this);
}

std::shared_ptr<HVFile> HVFile::addFileAtPath(const std::string& path) {
    // A directory never listed is listed first, so that the new node joins its real
    // siblings instead of standing for the whole folder.
    const Children list = children(true);
    for (const auto& child : list) {
        if (child->path() == path) {
            child->contentsDidChange();
            return child;
        }
        if (child->containsPath(path))
            return child->addFileAtPath(path);
    }
    const std::string own = this->path();
    std::string rest = path.size() > own.size() + 1 ? path.substr(own.size() + 1) : path;
    const auto slash = rest.find('/');
    if (slash != std::string::npos && path.compare(0, own.size(), own) == 0) {
        // A folder between this one and the file that the tree does not know yet.
        auto folder = initWithPath(HVFileSystem::appendingPathComponent(own, rest.substr(0, slash)),
                                   shared_from_this());
        addChild(folder);
        return folder->addFileAtPath(path);
    }
    auto node = initWithPath(path, shared_from_this());
    addChild(node);
    node->contentsDidChange();
    return node;
}

void HVFile::refresh(bool localOnly) {
    if (fileType() != Directory || !m_children)
        return;
    auto self = shared_from_this();
    if (m_local && !remoteOnly())
        m_local->reloadChildren();
    if (!localOnly && m_remote)
        m_remote->reloadChildren();
    const Children list = *m_children;
    for (const auto& child : list)
        child->refresh(localOnly);
}

void HVFile::didLoadChildren(HVFileRepresentation& representation,
                             const Representations& children) {
    auto self = shared_from_this();
    if (!m_children)
        m_children.emplace();
    // One lookup table and one sorted merge for the whole listing: adding the children one by
    // one searched and shifted the list for each, which took a quarter of a second for a
    // folder of 2,000 files.
    std::unordered_map<std::string, std::shared_ptr<HVFile>> known;
    for (const auto& child : *m_children)
        known.emplace(child->name(), child);
    Children fresh;
    bool added = false;
    for (const auto& child : children) {
        const std::string name = child->name();
        if (isFiltered(name))
            continue;
        added = true;
        if (auto found = known.find(name); found != known.end()) {
            found->second->mergeWithRepresentation(child);
            continue;
        }
        auto node = initWithFileRepresentation(child, self);
        known.emplace(name, node);
        fresh.push_back(std::move(node));
    }
    if (!fresh.empty()) {
        // Stable, and the present children first among equals, as addChild places them.
        auto before = [](const std::shared_ptr<HVFile>& a, const std::shared_ptr<HVFile>& b) {
            return HVCaseInsensitive::compare(a->name(), b->name()) < 0;
        };
        std::stable_sort(fresh.begin(), fresh.end(), before);
        Children merged;
        merged.reserve(m_children->size() + fresh.size());
        std::merge(m_children->begin(), m_children->end(), fresh.begin(), fresh.end(),
                   std::back_inserter(merged), before);
        *m_children = std::move(merged);
    }
    if (added && &representation == m_remote.get())
        needsRefresh(*this);
}

void HVFile::didReloadChildren(HVFileRepresentation& representation,
                               const Representations& children) {
    auto self = shared_from_this();
    if (!m_children)
        m_children.emplace();
    const bool local = representation.isLocal();
    std::map<std::string, std::shared_ptr<HVFileRepresentation>> fresh;
    for (const auto& child : children)
        fresh.emplace(child->name(), child);
    std::map<std::string, std::shared_ptr<HVFile>> current;
    for (const auto& child : *m_children)
        current.emplace(child->name(), child);

    bool changed = false;
    for (auto it = current.begin(); it != current.end();) {
        auto found = fresh.find(it->first);
        if (found == fresh.end()) {
            ++it;
            continue;
        }
        if (!(remoteOnly() && found->second->isLocal()))
            it->second->mergeWithRepresentation(found->second);
        changed = true;
        fresh.erase(found);
        it = current.erase(it);
    }
    for (const auto& [name, child] : fresh) {
        if (isFiltered(name))
            continue;
        addChildRepresentation(child);
        changed = true;
    }
    for (const auto& [name, child] : current) {
        if (local && child->m_local) {
            child->localRepresentationDisappeared();
            changed = true;
        } else if (!local && child->m_remote) {
            child->remoteRepresentationDisappeared();
            changed = true;
        }
    }
    if (changed)
        needsRefresh(*this);
}

void HVFile::leaveParent() {
    if (auto parent = m_parent.lock())
        parent->removeChild(shared_from_this());
}

void HVFile::localRepresentationDisappeared() {
    auto self = shared_from_this();
    if (m_children) {
        const Children list = *m_children;
        for (const auto& child : list)
            if (child->m_local)
                child->localRepresentationDisappeared();
    }
    if (m_document)
        m_document->fileContentsDisappeared();
    stopWatching();
    m_local.reset();
    if (!m_remote)
        leaveParent();
    else
        m_active = RemoteSide;
}

void HVFile::remoteRepresentationDisappeared() {
    auto self = shared_from_this();
    if (m_children) {
        const Children list = *m_children;
        for (const auto& child : list)
            if (child->m_remote)
                child->remoteRepresentationDisappeared();
    }
    m_remote.reset();
    if (!m_local)
        leaveParent();
    else
        m_active = LocalSide;
}

// --- Rename and move

std::shared_ptr<HVFile> HVFile::partnerFor(const std::shared_ptr<HVFile>& directory,
                                           const std::string& name) {
    if (!directory)
        return nullptr;
    auto partner = directory->childWithName(name, false);
    if (!partner || partner.get() == this)
        return nullptr;
    // Two copies of the same side cannot become one node.
    if ((m_local && partner->m_local) || (m_remote && partner->m_remote))
        return nullptr;
    return partner;
}

void HVFile::rename(const std::string& newName) {
    if (newName.empty() || newName == name())
        return;
    auto partner = partnerFor(parent(), newName);
    m_pending = true;
    if (m_remote)
        m_remote->rename(newName, partner);
    else if (m_local)
        m_local->rename(newName, partner);
    else
        m_pending = false;
}

void HVFile::didRename(HVFileRepresentation& representation, bool success, const Context& context) {
    auto self = shared_from_this();
    auto partner = std::static_pointer_cast<HVFile>(context);
    auto parent = this->parent();
    if (success && !representation.isLocal() && m_local) {
        // The server's copy has its new name; now the one on disk.
        m_local->rename(m_remote->name(), context);
        return;
    }
    m_pending = false;
    if (!success) {
        if (representation.isLocal() && m_remote && m_remote->name() != m_local->name() && parent) {
            // The server already took the new name: the two copies are two names now.
            splitRepresentations(parent);
            needsRefresh(*parent);
        }
        return;
    }
    if (parent) {
        // The new name sorts elsewhere.
        parent->removeChild(self);
        parent->addChild(self);
    }
    pathDidChange();
    if (partner)
        mergeWithPartner(partner, &representation == m_remote.get() && !m_local);
    else
        needsRefresh(*this);
}

bool HVFile::moveToFile(const std::shared_ptr<HVFile>& target) {
    if (m_newParent || !target || target.get() == this || (!m_local && !m_remote))
        return false;
    // Listed before anything moves, so that the listing cannot hold the moved file too.
    target->children(true);
    auto partner = partnerFor(target, name());
    m_newParent = target;
    m_pending = true;
    const std::string destination = HVFileSystem::appendingPathComponent(target->path(), name());
    if (m_local)
        m_local->moveToPath(destination, partner);
    else
        m_remote->moveToPath(destination, partner);
    return true;
}

void HVFile::finishMove(const std::shared_ptr<HVFile>& target) {
    auto self = shared_from_this();
    auto oldParent = parent();
    if (oldParent)
        oldParent->removeChild(self);
    target->addChild(self);
    pathDidChange();
    if (oldParent)
        needsRefresh(*oldParent);
    needsRefresh(*target);
}

void HVFile::didMove(HVFileRepresentation& representation, bool success, const Context& context) {
    auto self = shared_from_this();
    auto partner = std::static_pointer_cast<HVFile>(context);
    auto target = m_newParent;
    if (!target)
        return;
    if (success && representation.isLocal() && m_remote) {
        m_remote->moveToPath(HVFileSystem::appendingPathComponent(target->path(), name()), context);
        return;
    }
    m_newParent.reset();
    m_pending = false;
    if (!success) {
        if (!representation.isLocal() && m_local) {
            // The file on disk moved, the one on the server did not: two nodes now.
            auto oldParent = parent();
            finishMove(target);
            if (oldParent) {
                splitRepresentations(oldParent);
                needsRefresh(*oldParent);
            }
        }
        return;
    }
    finishMove(target);
    if (partner)
        mergeWithPartner(partner, &representation == m_remote.get() && !m_local);
}

void HVFile::mergeWithPartner(const std::shared_ptr<HVFile>& partner, bool movedRemoteSide) {
    auto self = shared_from_this();
    auto parent = this->parent();
    if (movedRemoteSide) {
        auto remote = m_remote;
        m_remote.reset();
        partner->mergeWithRepresentation(remote);
        leaveParent();
    } else if (partner->m_remote) {
        auto remote = partner->m_remote;
        partner->m_remote.reset();
        partner->leaveParent();
        mergeWithRepresentation(remote);
    }
    if (parent)
        needsRefresh(*parent);
}

void HVFile::splitRepresentations(const std::shared_ptr<HVFile>& oldParent) {
    auto self = shared_from_this();
    if (!m_remote)
        return;
    auto remote = m_remote;
    m_remote.reset();
    m_active = LocalSide;
    auto newNode = oldParent->addChildRepresentation(remote);
    if (m_children) {
        const Children list = *m_children;
        for (const auto& child : list)
            child->splitRepresentations(newNode);
    }
    if (!m_local)
        leaveParent();
}

void HVFile::pathDidChange() {
    if (m_document)
        m_document->filePathDidChange();
    if (m_children)
        for (const auto& child : *m_children)
            child->pathDidChange();
}

void HVFile::setPath(std::string path) {
    m_path = std::move(path);
    // The name comes from the representation: a lone node gets one for its new path.
    if (m_local && m_parent.expired())
        takeRepresentation(HVLocalFileRepresentation::initWithPath(m_path));
    if (m_document)
        m_document->filePathDidChange();
}

// --- Delete, trash, duplicate

void HVFile::remove() {
    m_pending = true;
    if (m_remote)
        m_remote->remove();
    else if (m_local)
        m_local->remove();
    else
        m_pending = false;
}

void HVFile::didDelete(HVFileRepresentation& representation, bool success) {
    auto self = shared_from_this();
    auto parent = this->parent();
    if (success && !representation.isLocal() && m_local) {
        m_local->remove();
        return;
    }
    m_pending = false;
    if (success) {
        stopWatching();
        m_local.reset();
        m_remote.reset();
        leaveParent();
        if (auto delegate = m_delegate.lock(); delegate && parent)
            delegate->removedChild(*this, *parent);
        return;
    }
    if (representation.isLocal() && m_remote) {
        // The server's copy is gone already.
        m_remote.reset();
        m_active = LocalSide;
    }
    // The row no longer shows an operation under way.
    needsRefresh(*this);
}

void HVFile::moveToTrash() {
    if (!m_local)
        return;
    m_pending = true;
    m_local->moveToTrash();
}

void HVFile::didMoveToTrash(HVFileRepresentation&, bool success) {
    auto self = shared_from_this();
    m_pending = false;
    if (!success) {
        ::syslog(LOG_WARNING, "MOVE TO TRASH ERROR: %s", path().c_str());
        return;
    }
    auto parent = this->parent();
    stopWatching();
    m_local.reset();
    if (!m_remote) {
        leaveParent();
        if (auto delegate = m_delegate.lock(); delegate && parent)
            delegate->removedChild(*this, *parent);
    } else {
        m_active = RemoteSide;
        if (parent)
            needsRefresh(*parent);
    }
}

void HVFile::duplicate() {
    if (!m_local)
        return;
    m_pending = true;
    m_local->duplicate();
}

void HVFile::didDuplicate(HVFileRepresentation&, std::shared_ptr<HVFileRepresentation> copy) {
    auto self = shared_from_this();
    m_pending = false;
    auto parent = this->parent();
    if (!copy || !parent) {
        ::syslog(LOG_WARNING, "DUPLICATION ERROR: %s", path().c_str());
        return;
    }
    auto node = parent->addChildRepresentation(copy);
    needsRefresh(*parent);
    if (auto delegate = m_delegate.lock())
        delegate->wasDuplicatedToFile(*this, *node);
}

void HVFile::hadError(HVFileRepresentation&, const HVError& error) {
    presentError(error);
}

// --- Content: downloads and uploads

std::shared_ptr<HVRemoteFileRepresentation> HVFile::makeRemoteRepresentation() {
    if (!m_remote) {
        auto queue = remoteQueue();
        if (!queue)
            return nullptr;
        takeRepresentation(HVRemoteFileRepresentation::initWithName(name(), fileType(), queue));
    }
    return m_remote;
}

bool HVFile::contentAvailable(bool download) {
    if (m_local || (m_remote && m_remote->localPath()))
        return true;
    if (download && m_remote) {
        m_pending = true;
        m_remote->download();
    }
    return false;
}

void HVFile::download() {
    if (!makeRemoteRepresentation())
        return;
    m_pending = true;
    m_remote->download();
}

void HVFile::upload() {
    if (!remoteQueue())
        return;
    if (auto parent = this->parent())
        parent->childWillUpload();
    if (!makeRemoteRepresentation())
        return;
    m_pending = true;
    m_remote->upload();
}

void HVFile::childWillUpload() {
    auto parent = this->parent();
    // The root is the site's own folder: it exists.
    if (!parent)
        return;
    parent->childWillUpload();
    if (m_remote)
        return;
    if (!makeRemoteRepresentation())
        return;
    m_pending = true;
    m_remote->makeDirectory();
}

namespace {

HVError notConnectedError() {
    return HVError(HVErrorDomain, 1,
                   HVLocalization::localizedString("The file was saved but not uploaded"),
                   HVLocalization::localizedString(
                       "The project is not connected to its server. The upload starts when it "
                       "connects, or choose Retry after connecting."));
}

} // namespace

void HVFile::contentsDidChange() {
    auto self = shared_from_this();
    const bool isFile = fileType() != Directory;
    auto delegate = m_delegate.lock();
    const bool wanted = delegate && delegate->fileShouldUpload(*this).value_or(false);
    auto queue = remoteQueue();
    if (wanted && queue) {
        upload();
        if (isFile)
            addUploadEntry();
        if (!remoteOnly() && !queue->isOnline()) {
            if (m_document)
                m_document->fileContentChangeFinished();
            presentError(HVError(HVErrorDomain, 18,
                                 HVLocalization::localizedString("UPLOAD_WHILE_OFFLINE_TITLE"),
                                 HVLocalization::localizedString("UPLOAD_WHILE_OFFLINE_BODY")));
        }
    } else {
        // Wanted but not connected: the save stays on this computer, and the list says so
        // until a connection (or Retry) sends it.
        if (wanted && isFile && !remoteOnly()) {
            addUploadEntry();
            HVUploadList::sharedInstance().failed(*m_uploadEntry, notConnectedError());
        }
        if (isFile && m_document)
            m_document->fileContentChangeFinished();
    }
    // The save replaced the file: watch the new one, and do not take the save for a change
    // made by someone else.
    if (isFile)
        if (HVKQueue* watcher = fileWatcher())
            watcher->resetForFile(self, HVKQueueWatchType::File);
}

void HVFile::addUploadEntry() {
    const HVRootFile* top = root();
    std::weak_ptr<HVFile> weak = weak_from_this();
    HVUploadList::Actions actions;
    actions.retry = [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        if (!self->remoteQueue() && self->m_uploadEntry)
            HVUploadList::sharedInstance().failed(*self->m_uploadEntry, notConnectedError());
        else
            self->upload();
    };
    actions.cancel = [weak] {
        if (auto self = weak.lock())
            self->cancelUpload();
    };
    m_uploadEntry = HVUploadList::sharedInstance().add(top ? top->path() : path(), pathFromRoot(),
                                                       std::move(actions));
}

void HVFile::cancelUpload() {
    m_uploadEntry.reset();
    m_pending = false;
    if (m_remote)
        m_remote->cancelWaitingActions();
    if (m_document)
        m_document->fileContentChangeFinished();
}

void HVFile::contentBecameAvailable(HVFileRepresentation&) {
    auto self = shared_from_this();
    if (!m_local) {
        mergeWithRepresentation(HVLocalFileRepresentation::initWithPath(path()));
    }
    m_pending = false;
    if (auto delegate = m_delegate.lock())
        delegate->contentBecameAvailable(*this);
}

void HVFile::contentChangeFinished(HVFileRepresentation&) {
    auto self = shared_from_this();
    m_pending = false;
    if (fileType() == Directory) {
        needsRefresh(*this);
        return;
    }
    if (m_uploadEntry) {
        HVUploadList::sharedInstance().finished(*m_uploadEntry);
        m_uploadEntry.reset();
    }
    if (m_document)
        m_document->fileContentChangeFinished();
}

void HVFile::contentTransferFailed(HVFileRepresentation&, const HVError& error) {
    m_pending = false;
    // The document keeps waiting: its change is not on the server. The list keeps the
    // reason until the upload is retried or given up.
    if (m_uploadEntry)
        HVUploadList::sharedInstance().failed(*m_uploadEntry, error);
}

// --- Questions of the representations

std::string HVFile::pathForFileRepresentation(const HVFileRepresentation&) {
    return path();
}

std::string HVFile::pathForRemoteFileRepresentation(const HVFileRepresentation&) {
    auto delegate = m_delegate.lock();
    const bool overwrite =
        delegate && delegate->downloadShouldOverwriteLocalFile(*this).value_or(false);
    if (!m_local || overwrite)
        return path();
    // Never over the local copy, and never where another user could have planted a link.
    if (auto directory = HVPrivateDownloadDirectoryForNode(uuid()))
        return HVFileSystem::appendingPathComponent(*directory, name());
    if (auto directory = HVPrivateDownloadDirectory())
        return HVFileSystem::appendingPathComponent(*directory, name());
    return {};
}

std::string HVFile::pathFromRootForFileRepresentation(const HVFileRepresentation&) {
    return pathFromRoot();
}

int HVFile::typeForFileRepresentation(const HVFileRepresentation&) {
    return fileType();
}

void HVFile::replaceRemoteQueue(const std::shared_ptr<HVRemoteFilesQueue>& queue) {
    if (!m_children) {
        // Never opened: it keeps its remote side, now reached through the new queue.
        if (m_remote)
            m_remote->setRemoteQueue(queue);
        return;
    }
    auto self = shared_from_this();
    m_remote.reset();
    if (queue) {
        takeRepresentation(HVRemoteFileRepresentation::initWithName(name(), fileType(), queue));
        m_remote->loadChildren();
    }
    const Children list = *m_children;
    for (const auto& child : list)
        child->replaceRemoteQueue(queue);
}
