#include "HVDocumentFileWatcher.h"

#include "HVDispatcher.h"
#include "HVFile.h"
#include "HVFileDocument.h"
#include "HVFileSystem.h"
#include "HVKQueue.h"
#include "HVUUID.h"

#include <atomic>
#include <mutex>
#include <optional>

namespace {

bool isLoneFile(const HVFileDocument& document) {
    return document.file() && !document.file()->parent() && !document.fileName().empty();
}

} // namespace

// What the watcher thread sees of one document: its path and a way back to the main thread.
class HVDocumentFileWatcher::Watch : public HVKQueueWatchable,
                                     public std::enable_shared_from_this<Watch> {
public:
    explicit Watch(HVFileDocument& document)
        : document(&document), alive(document.lifetime()), m_path(document.fileName()) {}

    std::string watchIdentifier() const override { return m_identifier; }
    std::string watchPath() const override {
        std::lock_guard guard(m_mutex);
        return m_path;
    }
    void setPath(std::string path) {
        std::lock_guard guard(m_mutex);
        m_path = std::move(path);
    }
    void watcherNoticedChange(std::uint32_t flags) override {
        if (!(flags & HVKQueueWriteFlag))
            return;
        // One look at the file answers any number of events that came before it.
        if (pending.exchange(true))
            return;
        HVDispatcher::main().post([weak = weak_from_this()] {
            if (auto self = weak.lock())
                HVDocumentFileWatcher::sharedInstance().deliver(self);
        });
    }

    // Main thread only; checked against alive before use.
    HVFileDocument* const document;
    const std::weak_ptr<void> alive;
    // The version last reported as an outside change, so that it is reported once.
    std::optional<HVFileIdentity> reported;
    std::atomic<bool> pending{false};

private:
    const std::string m_identifier = HVMakeUUID();
    mutable std::mutex m_mutex;
    std::string m_path;
};

HVDocumentFileWatcher& HVDocumentFileWatcher::sharedInstance() {
    // Never destroyed: documents may go away after static destruction began.
    static auto* instance = new HVDocumentFileWatcher();
    return *instance;
}

HVDocumentFileWatcher::HVDocumentFileWatcher() = default;
HVDocumentFileWatcher::~HVDocumentFileWatcher() = default;

HVKQueue* HVDocumentFileWatcher::queue() {
    if (!m_queue)
        m_queue = HVKQueue::init();
    return m_queue.get();
}

void HVDocumentFileWatcher::watchDocument(HVFileDocument& document) {
    if (!isLoneFile(document)) {
        stopWatchingDocument(document);
        return;
    }
    if (auto it = m_watches.find(&document); it != m_watches.end()) {
        if (it->second->watchPath() != document.fileName())
            resetForDocument(document);
        return;
    }
    HVKQueue* watcher = queue();
    if (!watcher)
        return;
    auto watch = std::make_shared<Watch>(document);
    if (watcher->watchFile(watch, HVKQueueWatchType::File))
        m_watches.emplace(&document, std::move(watch));
}

void HVDocumentFileWatcher::resetForDocument(HVFileDocument& document) {
    auto it = m_watches.find(&document);
    if (it == m_watches.end() || !isLoneFile(document)) {
        watchDocument(document);
        return;
    }
    it->second->setPath(document.fileName());
    it->second->reported.reset();
    m_queue->resetForFile(it->second, HVKQueueWatchType::File);
}

void HVDocumentFileWatcher::stopWatchingDocument(const HVFileDocument& document) {
    auto it = m_watches.find(&document);
    if (it == m_watches.end())
        return;
    m_queue->stopWatchingFile(*it->second);
    m_watches.erase(it);
}

bool HVDocumentFileWatcher::isWatchingDocument(const HVFileDocument& document) const {
    return m_watches.count(&document) != 0;
}

void HVDocumentFileWatcher::deliver(const std::shared_ptr<Watch>& watch) {
    watch->pending = false;
    auto it = m_watches.find(watch->document);
    if (it == m_watches.end() || it->second != watch || watch->alive.expired())
        return;
    HVFileDocument& document = *watch->document;
    auto current = HVFileSystem::identityOfFile(document.fileName());
    if (!current) {
        stopWatchingDocument(document);
        document.fileContentsDisappeared();
        return;
    }
    // Another program may have saved by renaming a new file over ours: watch that one now.
    m_queue->resetForFile(watch, HVKQueueWatchType::File);
    // The document's own write, or what it last read, is nobody else's change; and one
    // outside version is reported once, however many events it made.
    if (current == document.knownFileIdentity() || current == watch->reported)
        return;
    watch->reported = current;
    document.fileContentsChangedExternally();
}
