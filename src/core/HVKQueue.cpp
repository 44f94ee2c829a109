#include "HVKQueue.h"

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One mask for every watch: the kernel keeps one watch per inode, so two objects watching the
// same inode with different masks would overwrite each other's. The type decides what counts.
constexpr std::uint32_t kWatchMask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE |
                                     IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                     IN_MOVE_SELF;

struct FileStat {
    dev_t device = 0;
    ino_t inode = 0;
    nlink_t links = 0;
    bool exists = false;
};

FileStat statPath(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, st.st_nlink, true};
}

} // namespace

struct HVKQueue::Core {
    struct Entry {
        std::weak_ptr<HVKQueueWatchable> object;
        HVKQueueWatchType type = HVKQueueWatchType::File;
        std::string path;
        // -1 once the kernel dropped the watch (the file is gone); the entry stays so that a
        // reset can watch whatever appears at the path.
        int wd = -1;
        // What the path was when watched: a change of inode or link count under an attribute
        // event means the file was replaced or removed.
        FileStat watched;
    };

    // What one read told about one object.
    struct Pending {
        std::shared_ptr<Entry> entry;
        HVKQueueWatchType type = HVKQueueWatchType::File;
        std::string path;
        FileStat watched;
        std::uint32_t events = 0;
    };

    int inotifyFD = -1;
    int wakeFD = -1;
    std::thread thread;
    std::atomic<bool> die{false};

    mutable std::mutex lock;
    std::map<std::string, std::shared_ptr<Entry>> watchedFiles;
    // The kernel gives one descriptor per inode: every object watching it is listed here.
    std::unordered_map<int, std::set<std::string>> identifiersByWatch;

    ~Core() {
        if (inotifyFD >= 0)
            ::close(inotifyFD);
        if (wakeFD >= 0)
            ::close(wakeFD);
    }

    // Under the lock.
    bool attach(Entry& entry, const std::string& identifier) {
        int wd = ::inotify_add_watch(inotifyFD, entry.path.c_str(), kWatchMask);
        if (wd < 0)
            return false;
        entry.wd = wd;
        entry.watched = statPath(entry.path);
        identifiersByWatch[wd].insert(identifier);
        return true;
    }

    // Under the lock. The kernel watch goes only with the last object that uses it.
    void detach(Entry& entry, const std::string& identifier) {
        if (entry.wd < 0)
            return;
        auto it = identifiersByWatch.find(entry.wd);
        if (it != identifiersByWatch.end()) {
            it->second.erase(identifier);
            if (it->second.empty()) {
                ::inotify_rm_watch(inotifyFD, entry.wd);
                identifiersByWatch.erase(it);
            }
        }
        entry.wd = -1;
    }

    void wake() {
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(wakeFD, &one, sizeof one);
    }

    void mainLoop();
    void readBatch(const char* buffer, std::size_t length);
    static std::uint32_t flagsFor(const Pending& pending);
};

std::uint32_t HVKQueue::Core::flagsFor(const Pending& pending) {
    std::uint32_t events = pending.events;
    std::uint32_t flags = 0;
    if (pending.type == HVKQueueWatchType::File) {
        if (events & (IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW))
            flags |= HVKQueueWriteFlag;
        if ((events & IN_ATTRIB) && !(flags & HVKQueueWriteFlag)) {
            // A permission or time change is not news; a file replaced or unlinked is.
            FileStat now = statPath(pending.path);
            if (!now.exists || now.device != pending.watched.device ||
                now.inode != pending.watched.inode || now.links != pending.watched.links)
                flags |= HVKQueueWriteFlag;
        }
        return flags;
    }
    if (events & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_Q_OVERFLOW))
        flags |= HVKQueueWriteFlag;
    if (events & IN_UNMOUNT)
        flags |= HVKQueueRevokeFlag;
    if (pending.type == HVKQueueWatchType::Root) {
        if (events & IN_DELETE_SELF)
            flags |= HVKQueueDeleteFlag;
        if (events & IN_MOVE_SELF)
            flags |= HVKQueueRenameFlag;
    }
    return flags;
}

void HVKQueue::Core::readBatch(const char* buffer, std::size_t length) {
    // The events of one read, gathered per object, so that each hears of them once.
    std::map<std::string, Pending> pending;
    {
        std::lock_guard guard(lock);
        auto note = [&](const std::string& identifier, std::uint32_t mask) {
            auto found = watchedFiles.find(identifier);
            if (found == watchedFiles.end())
                return;
            Pending& slot = pending[identifier];
            if (!slot.entry) {
                slot.entry = found->second;
                slot.type = found->second->type;
                slot.path = found->second->path;
                slot.watched = found->second->watched;
            }
            slot.events |= mask;
        };
        for (std::size_t offset = 0; offset + sizeof(inotify_event) <= length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                // Events were lost: everybody looks again.
                for (const auto& [identifier, entry] : watchedFiles)
                    note(identifier, IN_Q_OVERFLOW);
                continue;
            }
            auto ids = identifiersByWatch.find(event->wd);
            if (ids == identifiersByWatch.end())
                continue; // stopped meanwhile
            for (const std::string& identifier : ids->second)
                note(identifier, event->mask);
            if (event->mask & IN_IGNORED) {
                // The kernel dropped the watch (the inode is gone); the entries stay.
                for (const std::string& identifier : ids->second) {
                    if (auto found = watchedFiles.find(identifier); found != watchedFiles.end())
                        found->second->wd = -1;
                }
                identifiersByWatch.erase(ids);
            }
        }
    }
    for (auto& [identifier, slot] : pending) {
        std::uint32_t flags = flagsFor(slot);
        if (flags == 0)
            continue;
        std::shared_ptr<HVKQueueWatchable> object;
        {
            // An earlier callback of this batch may have stopped or reset this object.
            std::lock_guard guard(lock);
            auto found = watchedFiles.find(identifier);
            if (found == watchedFiles.end() || found->second != slot.entry)
                continue;
            object = slot.entry->object.lock();
            if (!object) {
                detach(*slot.entry, identifier);
                watchedFiles.erase(found);
                continue;
            }
        }
        object->watcherNoticedChange(flags);
    }
}

void HVKQueue::Core::mainLoop() {
    alignas(inotify_event) char buffer[16384];
    pollfd fds[2] = {{inotifyFD, POLLIN, 0}, {wakeFD, POLLIN, 0}};
    while (!die.load()) {
        int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (die.load())
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        for (;;) {
            ssize_t length = ::read(inotifyFD, buffer, sizeof buffer);
            if (length <= 0)
                break;
            readBatch(buffer, std::size_t(length));
            if (die.load())
                break;
        }
    }
}

HVKQueue::HVKQueue() : m_core(std::make_shared<Core>()) {}

std::unique_ptr<HVKQueue> HVKQueue::init() {
    std::unique_ptr<HVKQueue> queue(new HVKQueue());
    Core& core = *queue->m_core;
    core.inotifyFD = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    core.wakeFD = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (core.inotifyFD < 0 || core.wakeFD < 0)
        return nullptr;
    // The thread shares the core, so that a callback that destroys its own watcher leaves
    // the thread something to finish with.
    core.thread = std::thread([core = queue->m_core] { core->mainLoop(); });
    return queue;
}

HVKQueue::~HVKQueue() {
    destroy();
}

bool HVKQueue::watchFile(const std::shared_ptr<HVKQueueWatchable>& object, HVKQueueWatchType type) {
    if (!object)
        return false;
    std::string identifier = object->watchIdentifier();
    std::string path = object->watchPath();
    std::lock_guard guard(m_core->lock);
    if (m_core->die.load())
        return false;
    if (m_core->watchedFiles.count(identifier))
        return true;
    auto entry = std::make_shared<Core::Entry>();
    entry->object = object;
    entry->type = type;
    entry->path = std::move(path);
    if (!m_core->attach(*entry, identifier))
        return false;
    m_core->watchedFiles.emplace(std::move(identifier), std::move(entry));
    return true;
}

bool HVKQueue::resetForFile(const std::shared_ptr<HVKQueueWatchable>& object,
                            HVKQueueWatchType type) {
    if (!object)
        return false;
    std::string identifier = object->watchIdentifier();
    std::string path = object->watchPath();
    std::lock_guard guard(m_core->lock);
    auto found = m_core->watchedFiles.find(identifier);
    if (found == m_core->watchedFiles.end())
        return false;
    // The new watch first, so that a file that kept its inode keeps its kernel watch. The
    // entry stays the same one: events already read are still the object's news.
    Core::Entry& entry = *found->second;
    int oldWatch = entry.wd;
    entry.object = object;
    entry.type = type;
    entry.path = std::move(path);
    bool attached = m_core->attach(entry, identifier);
    if (!attached)
        entry.wd = -1;
    if (oldWatch >= 0 && oldWatch != entry.wd) {
        Core::Entry old;
        old.wd = oldWatch;
        m_core->detach(old, identifier);
    }
    return attached;
}

void HVKQueue::stopWatchingFile(const HVKQueueWatchable& object) {
    std::string identifier = object.watchIdentifier();
    std::lock_guard guard(m_core->lock);
    auto found = m_core->watchedFiles.find(identifier);
    if (found == m_core->watchedFiles.end())
        return;
    m_core->detach(*found->second, identifier);
    m_core->watchedFiles.erase(found);
}

bool HVKQueue::isWatching(const HVKQueueWatchable& object) const {
    std::string identifier = object.watchIdentifier();
    std::lock_guard guard(m_core->lock);
    return m_core->watchedFiles.count(identifier) != 0;
}

void HVKQueue::destroy() {
    {
        std::lock_guard guard(m_core->lock);
        for (auto& [identifier, entry] : m_core->watchedFiles)
            m_core->detach(*entry, identifier);
        m_core->watchedFiles.clear();
        m_core->identifiersByWatch.clear();
    }
    m_core->die.store(true);
    if (m_core->wakeFD >= 0)
        m_core->wake();
    if (m_core->thread.joinable()) {
        // A callback that destroys its own watcher cannot wait for itself.
        if (m_core->thread.get_id() == std::this_thread::get_id())
            m_core->thread.detach();
        else
            m_core->thread.join();
    }
}
