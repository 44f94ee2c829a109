#include "HVRootFile.h"

#include "HVFileSystem.h"
#include "HVLocalFileRepresentation.h"
#include "HVRemoteFileRepresentation.h"
#include "HVRemoteFilesQueue.h"

#include <sys/vfs.h>

namespace {

// statfs type numbers of the file systems whose changes inotify does not see.
constexpr long kNFSMagic = 0x6969;
constexpr long kSMBMagic = 0x517B;
constexpr long kCIFSMagic = 0xFF534D42;
constexpr long kSMB2Magic = 0xFE534D42;
// sshfs and every other FUSE file system: the kernel does not know when the server changes.
constexpr long kFUSEMagic = 0x65735546;

} // namespace

HVRootFile::HVRootFile(std::string path) : HVFile(std::move(path), nullptr) {}

HVRootFile::~HVRootFile() {
    if (m_watcher)
        m_watcher->destroy();
}

std::shared_ptr<HVRootFile> HVRootFile::initWithPath(std::string path, bool watchForChanges) {
    std::shared_ptr<HVRootFile> root(new HVRootFile(path));
    root->takeRepresentation(HVLocalFileRepresentation::initWithPath(path));
    if (watchForChanges && HVFileSystem::isDirectory(path) && !isOnNetworkFileSystem(path)) {
        root->m_watcher = HVKQueue::init();
        if (root->m_watcher) {
            root->uuid();
            root->m_watcher->watchFile(root, HVKQueueWatchType::Root);
        }
    }
    return root;
}

bool HVRootFile::isOnNetworkFileSystem(const std::string& path) {
    struct statfs info {};
    if (::statfs(path.c_str(), &info) != 0)
        return false;
    const long type = static_cast<long>(info.f_type);
    return type == kNFSMagic || type == kSMBMagic || type == kCIFSMagic || type == kSMB2Magic ||
           type == kFUSEMagic;
}

void HVRootFile::setRemoteQueue(std::shared_ptr<HVRemoteFilesQueue> queue) {
    if (queue == m_queue)
        return;
    m_queue = std::move(queue);
    if (m_children) {
        replaceRemoteQueue(m_queue);
        return;
    }
    // The site's folder: listed with the rest when the tree is first opened.
    m_remote.reset();
    if (m_queue)
        takeRepresentation(HVRemoteFileRepresentation::initWithName(name(), Directory, m_queue));
}

std::shared_ptr<HVFile> HVRootFile::childWithPath(const std::vector<std::string>& components,
                                                  bool load) {
    std::string joined;
    for (const auto& component : components) {
        if (component.empty())
            continue;
        if (!joined.empty() && joined.back() != '/' && component.front() != '/')
            joined += '/';
        joined += component;
    }
    const std::string own = path();
    if (joined == own)
        return shared_from_this();
    if (joined.size() > own.size() && joined.compare(0, own.size(), own) == 0 &&
        joined[own.size()] == '/') {
        std::vector<std::string> below;
        std::string rest = joined.substr(own.size() + 1);
        std::size_t start = 0;
        while (start <= rest.size()) {
            const auto slash = rest.find('/', start);
            const auto end = slash == std::string::npos ? rest.size() : slash;
            below.push_back(rest.substr(start, end - start));
            start = end + 1;
        }
        return childWithPathFromHere(below, 0, load);
    }
    // Not below the root: nothing in this tree.
    children(load);
    return nullptr;
}
