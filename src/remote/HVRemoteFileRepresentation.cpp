#include "HVRemoteFileRepresentation.h"

#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVRemoteFile.h"
#include "HVRemoteFilesQueue.h"

#include <cstdio>
#include <ctime>
#include <deque>

// What the queue holds weakly as the completion delegate. Its queue-thread entry points only
// post to the main thread; everything else in it is touched on the main thread alone.
struct HVRemoteFileRepresentation::Core : HVRemoteFilesQueueDelegate,
                                          std::enable_shared_from_this<Core> {
    std::weak_ptr<HVRemoteFileRepresentation> owner;
    std::shared_ptr<HVRemoteFilesQueue> queue;
    std::optional<std::string> localPath;
    Context renameContext;
    Context moveContext;
    // One entry per listing on its way, in the queue's order: whether it is a reload. A single
    // flag would call the first listing to arrive a reload when a reload was asked for after it.
    std::deque<bool> listingsForReload;

    bool takeListingForReload() {
        if (listingsForReload.empty())
            return false;
        const bool reload = listingsForReload.front();
        listingsForReload.pop_front();
        return reload;
    }

    // Runs the report on the main thread while both the core and its representation live.
    template <typename Report> void onMain(Report report) {
        std::weak_ptr<Core> weak = weak_from_this();
        HVDispatcher::main().post([weak, report = std::move(report)]() mutable {
            const auto core = weak.lock();
            const auto representation = core ? core->owner.lock() : nullptr;
            if (!representation)
                return;
            const auto delegate = representation->delegate();
            report(*core, *representation, delegate.get());
        });
    }

    void retrievedFiles(HVRemoteFilesQueue&, const std::vector<HVRemoteFile>& files,
                        const std::string&) override {
        onMain([files](Core& core, HVRemoteFileRepresentation& self,
                       HVFileRepresentationDelegate* delegate) {
            HVFileRepresentationDelegate::Representations children;
            for (const HVRemoteFile& file : files)
                children.push_back(initWithRemoteFile(file, core.queue));
            const bool reload = core.takeListingForReload();
            self.m_loaded = true;
            if (!delegate)
                return;
            if (reload)
                delegate->didReloadChildren(self, children);
            else
                delegate->didLoadChildren(self, children);
        });
    }

    void downloadedFile(HVRemoteFilesQueue&, const std::string&, const std::string&) override {
        onMain([](Core&, HVRemoteFileRepresentation& self, HVFileRepresentationDelegate* delegate) {
            if (delegate)
                delegate->contentBecameAvailable(self);
        });
    }

    void contentChanged() {
        onMain([](Core&, HVRemoteFileRepresentation& self, HVFileRepresentationDelegate* delegate) {
            if (delegate)
                delegate->contentChangeFinished(self);
        });
    }
    void uploadedFile(HVRemoteFilesQueue&, const std::string&, const std::string&) override {
        contentChanged();
    }
    void createdDirectory(HVRemoteFilesQueue&, const std::string&) override { contentChanged(); }

    void deletedFile(HVRemoteFilesQueue&, const std::string&) override {
        onMain([](Core&, HVRemoteFileRepresentation& self, HVFileRepresentationDelegate* delegate) {
            if (delegate)
                delegate->didDelete(self, true);
        });
    }

    // A move within one folder is the rename the caller asked for; each takes its context.
    static void reportMove(Core& core, HVRemoteFileRepresentation& self,
                           HVFileRepresentationDelegate* delegate, const std::string& from,
                           const std::string& to, bool success) {
        const bool rename = HVFileSystem::deletingLastPathComponent(from) ==
                            HVFileSystem::deletingLastPathComponent(to);
        Context context = std::move(rename ? core.renameContext : core.moveContext);
        if (success)
            self.m_name = HVFileSystem::lastPathComponent(to);
        if (!delegate)
            return;
        if (rename)
            delegate->didRename(self, success, context);
        else
            delegate->didMove(self, success, context);
    }

    void movedFile(HVRemoteFilesQueue&, const std::string& from, const std::string& to) override {
        onMain([from, to](Core& core, HVRemoteFileRepresentation& self,
                          HVFileRepresentationDelegate* delegate) {
            reportMove(core, self, delegate, from, to, true);
        });
    }

    void actionFailed(HVRemoteFilesQueue&, HVRemoteOperation operation,
                      const std::string& remotePath, const std::string& secondPath,
                      const HVError& error) override {
        onMain([=](Core& core, HVRemoteFileRepresentation& self,
                   HVFileRepresentationDelegate* delegate) {
            switch (operation) {
            case HVRemoteOperation::Listing:
                // The queue has shown the error; the tree keeps what it had.
                core.takeListingForReload();
                break;
            case HVRemoteOperation::Download:
            case HVRemoteOperation::Upload:
            case HVRemoteOperation::CreateDirectory:
                if (delegate)
                    delegate->contentTransferFailed(self, error);
                break;
            case HVRemoteOperation::Delete:
                if (delegate)
                    delegate->didDelete(self, false);
                break;
            case HVRemoteOperation::Move:
                reportMove(core, self, delegate, remotePath, secondPath, false);
                break;
            case HVRemoteOperation::Chmod:
                break;
            }
        });
    }
};

namespace {

std::uint16_t modeForType(int fileType) {
    switch (fileType) {
    case HVFileRepresentation::Directory:
        return 0x4000;
    case HVFileRepresentation::SymbolicLink:
        return 0xA000;
    case HVFileRepresentation::FIFO:
        return 0x1000;
    case HVFileRepresentation::CharacterDevice:
        return 0x2000;
    case HVFileRepresentation::BlockDevice:
        return 0x6000;
    case HVFileRepresentation::Socket:
        return 0xC000;
    default:
        return 0x8000;
    }
}

// "2026-12-07 06:24:00 +0100" only: the dates listings print have no year or no zone and
// would be guessed wrong.
std::optional<std::int64_t> internationalDate(const std::string& text) {
    int year, month, day, hour, minute, second, consumed = 0;
    char sign;
    char zone[5] = {};
    if (text.size() != 25 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d %c%4[0-9]%n", &year, &month, &day, &hour,
                    &minute, &second, &sign, zone, &consumed) != 8 ||
        consumed != 25 || (sign != '+' && sign != '-'))
        return std::nullopt;
    for (const std::size_t at : {4u, 7u, 13u, 16u})
        if (text[at] != (at < 10 ? '-' : ':'))
            return std::nullopt;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    const int offset = (std::atoi(zone) / 100) * 3600 + (std::atoi(zone) % 100) * 60;
    return std::int64_t(::timegm(&fields)) - (sign == '-' ? -offset : offset);
}

} // namespace

HVRemoteFileRepresentation::HVRemoteFileRepresentation(std::string name)
    : HVFileRepresentation(std::move(name)), m_core(std::make_shared<Core>()) {}

std::shared_ptr<HVRemoteFileRepresentation>
HVRemoteFileRepresentation::initWithRemoteFile(const HVRemoteFile& file,
                                               std::shared_ptr<HVRemoteFilesQueue> queue) {
    std::shared_ptr<HVRemoteFileRepresentation> representation(
        new HVRemoteFileRepresentation(file.name));
    representation->m_core->owner = representation;
    representation->m_core->queue = std::move(queue);
    representation->m_owner = file.user;
    representation->m_group = file.group;
    representation->m_size = file.size;
    representation->m_mode = modeFromString(file.effectiveModeString().value_or(""));
    if (file.dateString)
        representation->m_modificationDate = internationalDate(*file.dateString);
    return representation;
}

std::shared_ptr<HVRemoteFileRepresentation>
HVRemoteFileRepresentation::initWithName(std::string name, int fileType,
                                         std::shared_ptr<HVRemoteFilesQueue> queue) {
    std::shared_ptr<HVRemoteFileRepresentation> representation(
        new HVRemoteFileRepresentation(std::move(name)));
    representation->m_core->owner = representation;
    representation->m_core->queue = std::move(queue);
    representation->m_mode = modeForType(fileType);
    return representation;
}

HVRemoteFileRepresentation::~HVRemoteFileRepresentation() {
    if (m_core->queue)
        m_core->queue->clearActionDelegate(m_core.get());
    // A completion running now may hold the core last, on a queue thread: it must not take
    // the queue (whose end joins that thread) or the caller's contexts with it.
    m_core->queue.reset();
    m_core->renameContext.reset();
    m_core->moveContext.reset();
}

namespace {

bool treatsAsDirectory(const HVFileRepresentation& file, HVFileRepresentationDelegate* delegate) {
    return file.fileType() == HVFileRepresentation::Directory ||
           (delegate &&
            delegate->typeForFileRepresentation(file) == HVFileRepresentation::Directory);
}

} // namespace

bool HVRemoteFileRepresentation::loadChildren() {
    return queueListing(false);
}

bool HVRemoteFileRepresentation::reloadChildren() {
    return queueListing(true);
}

bool HVRemoteFileRepresentation::queueListing(bool reload) {
    const auto delegate = this->delegate();
    if (!m_core->queue || !delegate)
        return false;
    m_core->listingsForReload.push_back(reload);
    m_core->queue->getFileListing(delegate->pathFromRootForFileRepresentation(*this), m_core);
    return true;
}

void HVRemoteFileRepresentation::remove() {
    const auto delegate = this->delegate();
    if (!m_core->queue || !delegate)
        return;
    const std::string path = delegate->pathFromRootForFileRepresentation(*this);
    if (treatsAsDirectory(*this, delegate.get()))
        m_core->queue->deleteDirectory(path, m_core);
    else
        m_core->queue->deleteFile(path, m_core);
}

bool HVRemoteFileRepresentation::moveToPath(const std::string& path, Context context) {
    const auto delegate = this->delegate();
    if (!m_core->queue || !delegate)
        return false;
    m_core->moveContext = std::move(context);
    m_core->queue->moveFile(delegate->pathFromRootForFileRepresentation(*this),
                            delegate->pathFromRootForPath(path), m_core);
    return true;
}

void HVRemoteFileRepresentation::rename(const std::string& newName, Context context) {
    const auto delegate = this->delegate();
    if (!m_core->queue || !delegate)
        return;
    m_core->renameContext = std::move(context);
    const std::string path = delegate->pathFromRootForFileRepresentation(*this);
    m_core->queue->moveFile(path,
                            HVFileSystem::appendingPathComponent(
                                HVFileSystem::deletingLastPathComponent(path), newName),
                            m_core);
}

void HVRemoteFileRepresentation::download() {
    const auto delegate = this->delegate();
    if (!m_core->queue || !delegate)
        return;
    const std::string local = delegate->pathForRemoteFileRepresentation(*this);
    if (local.empty())
        return;
    m_core->localPath = local;
    const std::string folder = HVFileSystem::deletingLastPathComponent(local);
    if (!folder.empty() && !HVFileSystem::createDirectory(folder))
        return;
    const std::string remote = delegate->pathFromRootForFileRepresentation(*this);
    if (treatsAsDirectory(*this, delegate.get()))
        m_core->queue->downloadDirectory(remote, local, m_core);
    else
        m_core->queue->downloadFile(remote, local, m_core);
}

void HVRemoteFileRepresentation::upload() {
    const auto delegate = this->delegate();
    if (!m_core->queue || !delegate)
        return;
    const std::string local =
        m_core->localPath ? *m_core->localPath : delegate->pathForFileRepresentation(*this);
    const std::string remote = delegate->pathFromRootForFileRepresentation(*this);
    if (treatsAsDirectory(*this, delegate.get()))
        m_core->queue->uploadDirectory(local, remote, m_core);
    else
        m_core->queue->uploadFile(local, remote, m_core);
}

void HVRemoteFileRepresentation::makeDirectory() {
    const auto delegate = this->delegate();
    if (!m_core->queue || !delegate)
        return;
    m_core->queue->createDirectory(delegate->pathFromRootForFileRepresentation(*this), m_core);
}

std::size_t HVRemoteFileRepresentation::cancelWaitingActions() {
    if (!m_core->queue)
        return 0;
    const std::size_t removed = m_core->queue->removeActions(m_core.get());
    // At most the running listing can still arrive.
    while (m_core->listingsForReload.size() > 1)
        m_core->listingsForReload.pop_back();
    return removed;
}

const std::optional<std::string>& HVRemoteFileRepresentation::localPath() const {
    return m_core->localPath;
}

void HVRemoteFileRepresentation::setLocalPath(std::optional<std::string> path) {
    m_core->localPath = std::move(path);
}

std::shared_ptr<HVRemoteFilesQueue> HVRemoteFileRepresentation::remoteQueue() const {
    return m_core->queue;
}

void HVRemoteFileRepresentation::setRemoteQueue(std::shared_ptr<HVRemoteFilesQueue> queue) {
    if (m_core->queue && m_core->queue != queue)
        m_core->queue->clearActionDelegate(m_core.get());
    // The old queue's listings will not report.
    m_core->listingsForReload.clear();
    m_core->queue = std::move(queue);
}
