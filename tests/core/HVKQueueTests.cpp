#include "HVKQueue.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <future>
#include <mutex>
#include <numeric>
#include <unistd.h>

namespace {

constexpr auto kPatience = std::chrono::seconds(5);

// A watched object that records the flags it is told, in order.
class Recorder : public HVKQueueWatchable {
public:
    Recorder(std::string identifier, std::string path) : m_identifier(identifier), m_path(path) {}
    std::string watchIdentifier() const override { return m_identifier; }
    std::string watchPath() const override { return m_path; }
    void watcherNoticedChange(std::uint32_t flags) override {
        if (onChange)
            onChange(flags);
        std::lock_guard guard(m_mutex);
        m_flags.push_back(flags);
        m_changed.notify_all();
    }

    // Waits until the recorded flags, ORed, hold every wanted bit; answers them.
    std::uint32_t waitFor(std::uint32_t wanted) {
        std::unique_lock guard(m_mutex);
        m_changed.wait_for(guard, kPatience, [&] { return (seenLocked() & wanted) == wanted; });
        return seenLocked();
    }
    std::size_t deliveries() const {
        std::lock_guard guard(m_mutex);
        return m_flags.size();
    }
    void clear() {
        std::lock_guard guard(m_mutex);
        m_flags.clear();
    }

    // Runs on the watcher thread before the flags are recorded.
    std::function<void(std::uint32_t)> onChange;

private:
    std::uint32_t seenLocked() const {
        return std::accumulate(m_flags.begin(), m_flags.end(), 0u, std::bit_or<>());
    }

    const std::string m_identifier;
    const std::string m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::uint32_t> m_flags;
};

void appendInPlace(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
}

class KQueue : public ::testing::Test {
protected:
    HVTemporaryDirectory dir;
    std::unique_ptr<HVKQueue> queue = HVKQueue::init();

    std::shared_ptr<Recorder> watch(const std::string& identifier, const std::string& path,
                                    HVKQueueWatchType type) {
        auto recorder = std::make_shared<Recorder>(identifier, path);
        EXPECT_TRUE(queue->watchFile(recorder, type)) << path;
        return recorder;
    }
    // Events of one queue arrive in order, and a batch tells objects in the order of their
    // identifiers: once this one is told, everything before it has been delivered.
    void settle() {
        std::string path = dir.write("zz-sentinel", "");
        auto sentinel = watch("zz-sentinel", path, HVKQueueWatchType::File);
        appendInPlace(path, "x");
        ASSERT_EQ(sentinel->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag);
        queue->stopWatchingFile(*sentinel);
    }
};

TEST_F(KQueue, AFileWrittenReplacedOrRemovedIsAWrite) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> change;
    };
    const std::vector<Case> cases = {
        {"written in place", [](const std::string& path) { appendInPlace(path, "more"); }},
        {"replaced by a rename",
         [&](const std::string& path) {
             std::string other = dir.write("replacement", "new");
             ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
         }},
        {"removed", [](const std::string& path) { ASSERT_EQ(::unlink(path.c_str()), 0); }},
        {"replaced while another name keeps it",
         [&](const std::string& path) {
             ASSERT_EQ(::link(path.c_str(), (path + ".keep").c_str()), 0);
             std::string other = dir.write("replacement", "new");
             ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
         }},
        {"moved away",
         [](const std::string& path) {
             ASSERT_EQ(std::rename(path.c_str(), (path + ".moved").c_str()), 0);
         }},
    };
    for (const Case& c : cases) {
        std::string path = dir.write(c.name, "old");
        auto file = watch(c.name, path, HVKQueueWatchType::File);
        c.change(path);
        EXPECT_EQ(file->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag) << c.name;
        queue->stopWatchingFile(*file);
    }
}

TEST_F(KQueue, AfterAResetTheNewFileAtThePathIsWatched) {
    std::string path = dir.write("page.html", "old");
    auto file = watch("page", path, HVKQueueWatchType::File);
    dir.write("page.html", "replaced"); // a new inode renamed over the old one
    ASSERT_EQ(file->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag);
    settle();
    EXPECT_TRUE(queue->resetForFile(file, HVKQueueWatchType::File));
    file->clear();
    appendInPlace(path, " and written");
    EXPECT_EQ(file->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag);
    EXPECT_TRUE(queue->isWatching(*file));

    auto stranger = std::make_shared<Recorder>("stranger", path);
    EXPECT_FALSE(queue->resetForFile(stranger, HVKQueueWatchType::File)) << "never watched";
}

TEST_F(KQueue, EntriesMadeRemovedOrRenamedInAFolderAreAWrite) {
    for (HVKQueueWatchType type : {HVKQueueWatchType::Directory, HVKQueueWatchType::Root}) {
        std::string folder = dir.pathFor("folder" + std::to_string(int(type)));
        std::string entry = dir.write("folder" + std::to_string(int(type)) + "/a.css", "");
        auto watched = watch("folder", folder, type);
        const std::vector<std::pair<const char*, std::function<void()>>> changes = {
            {"created",
             [&] {
                 int fd = ::creat((folder + "/b.css").c_str(), 0600);
                 ASSERT_GE(fd, 0);
                 ::close(fd);
             }},
            {"renamed", [&] { ASSERT_EQ(std::rename(entry.c_str(), (entry + "2").c_str()), 0); }},
            {"deleted", [&] { ASSERT_EQ(::unlink((entry + "2").c_str()), 0); }},
        };
        for (const auto& [name, change] : changes) {
            watched->clear();
            change();
            EXPECT_EQ(watched->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag)
                << name << " in type " << int(type);
        }
        queue->stopWatchingFile(*watched);
    }
}

TEST_F(KQueue, ARootDeletedOrRenamedSaysSo) {
    std::string doomed = dir.pathFor("doomed");
    ASSERT_EQ(::mkdir(doomed.c_str(), 0700), 0);
    auto deleted = watch("doomed", doomed, HVKQueueWatchType::Root);
    ASSERT_EQ(::rmdir(doomed.c_str()), 0);
    EXPECT_EQ(deleted->waitFor(HVKQueueDeleteFlag) & HVKQueueDeleteFlag, HVKQueueDeleteFlag);
    EXPECT_TRUE(queue->isWatching(*deleted)) << "kept, so that a reset can find a new one";

    std::string moving = dir.pathFor("moving");
    ASSERT_EQ(::mkdir(moving.c_str(), 0700), 0);
    auto renamed = watch("moving", moving, HVKQueueWatchType::Root);
    ASSERT_EQ(std::rename(moving.c_str(), (moving + "-moved").c_str()), 0);
    EXPECT_EQ(renamed->waitFor(HVKQueueRenameFlag), HVKQueueRenameFlag);
}

TEST_F(KQueue, WatchingTwiceKeepsOneRegistrationAndAPathThatCannotBeOpenedIsRefused) {
    auto missing = std::make_shared<Recorder>("missing", dir.pathFor("no/such/file"));
    EXPECT_FALSE(queue->watchFile(missing, HVKQueueWatchType::File));
    EXPECT_FALSE(queue->isWatching(*missing));

    std::string path = dir.write("twice.js", "");
    auto file = watch("twice", path, HVKQueueWatchType::File);
    EXPECT_TRUE(queue->watchFile(file, HVKQueueWatchType::File));
    queue->stopWatchingFile(*file);
    EXPECT_FALSE(queue->isWatching(*file)) << "one stop ends it";
    appendInPlace(path, "x");
    settle();
    EXPECT_EQ(file->deliveries(), 0u);
}

TEST_F(KQueue, TwoObjectsOnOneInodeAreBothToldAndStoppingOneKeepsTheOther) {
    std::string path = dir.write("shared.php", "");
    std::string link = dir.pathFor("hard-link.php");
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    auto first = watch("first", path, HVKQueueWatchType::File);
    auto second = watch("second", path, HVKQueueWatchType::File);
    auto linked = watch("linked", link, HVKQueueWatchType::File);
    appendInPlace(path, "x");
    for (const auto& each : {first, second, linked})
        EXPECT_EQ(each->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag) << each->watchIdentifier();

    queue->stopWatchingFile(*first);
    queue->stopWatchingFile(*linked);
    second->clear();
    appendInPlace(link, "y");
    EXPECT_EQ(second->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag);
}

TEST_F(KQueue, AnObjectStoppedWhileItsEventWaitsIsToldNothing) {
    // Another object's callback holds the thread while the event comes in behind it.
    std::string busyPath = dir.write("busy", "");
    std::string path = dir.write("quiet", "");
    auto busy = watch("busy", busyPath, HVKQueueWatchType::File);
    auto quiet = watch("quiet", path, HVKQueueWatchType::File);
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    std::once_flag once;
    busy->onChange = [&](std::uint32_t) {
        std::call_once(once, [&] {
            entered.set_value();
            released.wait();
        });
    };
    appendInPlace(busyPath, "x");
    ASSERT_EQ(entered.get_future().wait_for(kPatience), std::future_status::ready);
    appendInPlace(path, "x");
    queue->stopWatchingFile(*quiet);
    release.set_value();
    settle();
    EXPECT_EQ(quiet->deliveries(), 0u);

    // In one batch: the first told stops the next, on the same inode.
    std::string together = dir.write("together", "");
    auto a = watch("a", together, HVKQueueWatchType::File);
    auto b = watch("b", together, HVKQueueWatchType::File);
    a->onChange = [&](std::uint32_t) { queue->stopWatchingFile(*b); };
    appendInPlace(together, "x");
    EXPECT_EQ(a->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag);
    settle();
    EXPECT_EQ(b->deliveries(), 0u);
}

TEST_F(KQueue, ACallbackMayStopOrResetItsOwnWatch) {
    std::string path = dir.write("self", "");
    auto resetting = watch("resetting", path, HVKQueueWatchType::File);
    resetting->onChange = [&](std::uint32_t) {
        queue->resetForFile(resetting, HVKQueueWatchType::File);
    };
    auto stopping = watch("stopping", path, HVKQueueWatchType::File);
    stopping->onChange = [&](std::uint32_t) { queue->stopWatchingFile(*stopping); };
    appendInPlace(path, "x");
    EXPECT_EQ(resetting->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag);
    EXPECT_EQ(stopping->waitFor(HVKQueueWriteFlag), HVKQueueWriteFlag);
    EXPECT_FALSE(queue->isWatching(*stopping));
    EXPECT_TRUE(queue->isWatching(*resetting));
}

TEST_F(KQueue, DestroyAndTheDestructorReturnWhileTheThreadWaits) {
    auto file = watch("file", dir.write("file", ""), HVKQueueWatchType::File);
    auto destroyed = std::async(std::launch::async, [&] { queue->destroy(); });
    ASSERT_EQ(destroyed.wait_for(kPatience), std::future_status::ready);
    EXPECT_FALSE(queue->isWatching(*file));

    queue = HVKQueue::init();
    watch("file", dir.pathFor("file"), HVKQueueWatchType::File);
    auto released = std::async(std::launch::async, [&] { queue.reset(); });
    EXPECT_EQ(released.wait_for(kPatience), std::future_status::ready);
}

} // namespace
