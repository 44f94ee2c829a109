#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The change flags a watcher reports; callers test these bits.
inline constexpr std::uint32_t HVKQueueDeleteFlag = 0x1;
inline constexpr std::uint32_t HVKQueueWriteFlag = 0x2;
inline constexpr std::uint32_t HVKQueueRenameFlag = 0x20;
inline constexpr std::uint32_t HVKQueueRevokeFlag = 0x40;

// File: an open document's file (write). Directory: an expanded folder (write, revoke).
// Root: a project's root folder (delete, write, rename, revoke).
enum class HVKQueueWatchType : int { File = 0, Directory = 1, Root = 2 };

// Something a watcher watches. Not owned by the watcher.
class HVKQueueWatchable {
public:
    virtual ~HVKQueueWatchable() = default;
    // Stable for the object's life: the key of its watch.
    virtual std::string watchIdentifier() const = 0;
    virtual std::string watchPath() const = 0;
    // On the watcher's thread, without the watcher's lock: move real work to the main thread.
    virtual void watcherNoticedChange(std::uint32_t flags) = 0;
};

// One watcher (over inotify) with a thread of its own that reports each change of a watched
// path to the object that asked for the watch.
class HVKQueue {
public:
    // None when the kernel refuses a watch queue.
    static std::unique_ptr<HVKQueue> init();
    // Stops every watch and the thread.
    ~HVKQueue();
    HVKQueue(const HVKQueue&) = delete;
    HVKQueue& operator=(const HVKQueue&) = delete;

    // True when watched (already, or now); false when the path cannot be watched.
    bool watchFile(const std::shared_ptr<HVKQueueWatchable>& object, HVKQueueWatchType type);
    // Watches the object's current path anew (after a save replaced the file); false when the
    // object was not watched, or when nothing can be watched at its path now (the object stays
    // watched, so that a later reset may find a new file there).
    bool resetForFile(const std::shared_ptr<HVKQueueWatchable>& object, HVKQueueWatchType type);
    void stopWatchingFile(const HVKQueueWatchable& object);
    bool isWatching(const HVKQueueWatchable& object) const;
    void destroy();

private:
    HVKQueue();
    struct Core;
    std::shared_ptr<Core> m_core;
};
