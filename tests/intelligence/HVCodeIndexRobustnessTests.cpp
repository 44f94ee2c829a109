#include "HVCodeIndex.h"
#include "HVCodeIndexTestSupport.h"
#include "HVDatabase.h"
#include "HVDispatcher.h"
#include "HVFileSystem.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Each fault leaves a real database file the way a crash, a user or a full disk would; the
// index must notice, say so once as a status-bar warning, rebuild or leave the file alone,
// and keep indexing and answering.

namespace {

constexpr double kPatience = 20;

class HVCodeIndexFaultTest : public HVIndexWorld {
protected:
    HVCodeIndexFaultTest() : databasePath(support.pathFor("index.db")) {
        first = write("first.tcode", "function first() {}");
        second = write("second.tcode", "function second() {}");
    }

    // Starts an index over the database, queues the files and waits for it.
    HVCodeIndex& run(std::initializer_list<std::string> queued) {
        index = std::make_unique<HVCodeIndex>(databasePath);
        index->setProblemHandler([this](const HVError& problem) {
            EXPECT_TRUE(problem.isLowPriority());
            problems += (problems.empty() ? "" : " ") + std::to_string(problem.code());
        });
        index->start();
        for (const std::string& file : queued)
            index->indexFile(file);
        EXPECT_TRUE(index->waitUntilIdle(kPatience));
        HVDispatcher::main().runPending();
        return *index;
    }
    std::string names(const std::string& file) {
        return HVKeyNames(index->keysForType(u"function", std::nullopt, file));
    }
    // A healthy database that holds the first file, closed.
    void indexFirstFile() {
        run({first});
        EXPECT_EQ(names(first), "first");
        index.reset();
        problems.clear();
    }

    HVTemporaryDirectory support;
    std::string databasePath;
    std::string first;
    std::string second;
    std::unique_ptr<HVCodeIndex> index;
    std::string problems;
};

// Runs the body in a child process and waits for it; its exit status.
int inChild(const std::function<int()>& body) {
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

} // namespace

TEST_F(HVCodeIndexFaultTest, AWriterKilledHalfwayLeavesItsLogAndLosesOnlyItsTransaction) {
    indexFirstFile();
    int status = inChild([&] {
        HVDatabase db(databasePath);
        if (!db.open() || !db.executeUpdate("PRAGMA cache_size=1") ||
            !db.beginImmediateTransaction())
            return 1;
        // Enough rows that pages spill into the log before the commit that never comes.
        for (int i = 0; i < 5000; ++i)
            db.executeUpdate("INSERT INTO keys (file_id, key) VALUES (1, ?)",
                             {"half" + std::to_string(i)});
        ::raise(SIGKILL);
        return 2;
    });
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(HVFileSystem::exists(databasePath + "-wal"));
    run({second});
    EXPECT_EQ(problems, "");
    EXPECT_EQ(names(first), "first");
    EXPECT_EQ(names(second), "second");
    EXPECT_EQ(HVKeyNames(index->keysForType(std::nullopt, std::nullopt, std::nullopt)).find("half"),
              std::string::npos);
}

TEST_F(HVCodeIndexFaultTest, ADeletedLogMeansTheDatabaseIsRebuilt) {
    // An index that dies with its work in the log, which someone then deletes.
    int status = inChild([&] {
        HVCodeIndex dying(databasePath);
        dying.start();
        dying.indexFile(first);
        dying.waitUntilIdle(kPatience);
        ::raise(SIGKILL);
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(::unlink((databasePath + "-wal").c_str()), 0);
    run({first, second});
    EXPECT_EQ(problems, "1");
    EXPECT_TRUE(HVFileSystem::exists(databasePath + ".damaged"));
    EXPECT_EQ(names(first), "first");
    EXPECT_EQ(names(second), "second");
}

TEST_F(HVCodeIndexFaultTest, DamagedBytesAreFoundAtOpeningAndTheFileMovedAside) {
    for (off_t offset : {off_t(0), off_t(4096)}) {
        SCOPED_TRACE(offset);
        HVFileSystem::removeRecursively(support.path());
        HVFileSystem::createDirectory(support.path());
        indexFirstFile();
        std::string original = HVReadFile(databasePath);
        ASSERT_GT(original.size(), std::size_t(offset + 4096));
        // Garbage over the header, or over every page after the first.
        int fd = ::open(databasePath.c_str(), O_WRONLY);
        std::string garbage(offset ? original.size() - offset : 100, '\xa5');
        ASSERT_EQ(::pwrite(fd, garbage.data(), garbage.size(), offset), ssize_t(garbage.size()));
        ::close(fd);
        run({first, second});
        EXPECT_EQ(problems, "1");
        EXPECT_EQ(HVReadFile(databasePath + ".damaged").size(), original.size());
        EXPECT_EQ(names(first), "first");
        EXPECT_EQ(names(second), "second");
        index.reset();
        problems.clear();
    }
}

TEST_F(HVCodeIndexFaultTest, AReadOnlyDatabaseOrFolderIsLeftAloneForTheSession) {
    indexFirstFile();
    std::string original = HVReadFile(databasePath);
    std::string closedFolder = support.pathFor("closed");
    HVFileSystem::createDirectory(closedFolder);
    ASSERT_EQ(::link(databasePath.c_str(), (closedFolder + "/index.db").c_str()), 0);
    ASSERT_EQ(::chmod(databasePath.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(support.path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(closedFolder.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(files.path().c_str(), 0755), 0);
    auto report = HVReportOfChild(
        [&] {
            std::vector<std::string> lines;
            for (const std::string& path :
                 {databasePath, closedFolder + "/index.db", closedFolder + "/new/index.db"}) {
                databasePath = path;
                run({first, second});
                lines.push_back(problems + " [" + names(first) + "] [" + names(second) + "]");
                index.reset();
                problems.clear();
            }
            return lines;
        },
        true);
    // A file that cannot be written still answers; in a folder that cannot be written, the
    // log cannot be made and nothing answers; nothing is moved aside.
    EXPECT_EQ(report, (std::vector<std::string>{"3 [first] []", "3 [] []", "3 [] []"}));
    ::chmod(closedFolder.c_str(), 0755);
    EXPECT_EQ(HVReadFile(databasePath), original);
    EXPECT_EQ(HVReadFile(closedFolder + "/index.db"), original);
    EXPECT_FALSE(HVFileSystem::exists(databasePath + ".damaged"));
}

TEST_F(HVCodeIndexFaultTest, AFullDiskSkipsTheFileThatDoesNotFitAndKeepsTheRest) {
    std::string big = "function first() {}\n";
    for (int i = 0; i < 20000; ++i)
        big += "function f" + std::to_string(i) + "_with_a_long_name_to_fill_pages() {}\n";
    std::string large = write("large.tcode", big);
    auto report = HVReportOfChild([&]() -> std::vector<std::string> {
        // A small disk of the child's own under the support folder.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", support.path().c_str(), "tmpfs", 0, "size=1m") != 0)
            return {"skip"};
        run({first});
        // Fill what is left.
        int fd = ::open(support.pathFor("filler").c_str(), O_WRONLY | O_CREAT, 0644);
        std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
        index->indexFile(large);
        index->indexFile(second);
        index->waitUntilIdle(kPatience);
        HVDispatcher::main().runPending();
        std::string largeNames = names(large);
        return {problems, names(first), largeNames.empty() ? "large missing" : "large indexed"};
    });
    if (report == std::vector<std::string>{"skip"})
        GTEST_SKIP() << "cannot mount a small file system here";
    EXPECT_EQ(report, (std::vector<std::string>{"4", "first", "large missing"}));
}

TEST_F(HVCodeIndexFaultTest, AnotherCopyHoldingTheLockStopsOnlyTheWriting) {
    indexFirstFile();
    HVDatabase other(databasePath);
    ASSERT_TRUE(other.open());
    ASSERT_TRUE(other.executeUpdate("BEGIN EXCLUSIVE"));
    run({second, first});
    EXPECT_EQ(problems, "2");
    EXPECT_EQ(names(first), "first");
    EXPECT_EQ(names(second), "");
    other.rollback();
    index.reset();
    problems.clear();

    // A copy that keeps the file in the older journal mode and writes: nothing can be read.
    ASSERT_TRUE(other.executeUpdate("PRAGMA journal_mode=DELETE"));
    ASSERT_TRUE(other.executeUpdate("BEGIN EXCLUSIVE"));
    ASSERT_TRUE(other.executeUpdate("INSERT INTO types (title) VALUES ('other')"));
    run({second});
    EXPECT_EQ(problems, "2");
    EXPECT_EQ(names(first), "");
    other.rollback();
}
