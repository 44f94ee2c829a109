#include "HVFileSystem.h"
#include "HVTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Failures show the identity's fields instead of its bytes.
void PrintTo(const HVFileIdentity& identity, std::ostream* out) {
    *out << "{device " << identity.device << ", inode " << identity.inode << ", size "
         << identity.size << ", modified " << identity.modificationTime << "}";
}

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The names in a folder, sorted: what a save leaves behind.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& path : HVFileSystem::listRecursively(folder)) {
        if (HVFileSystem::deletingLastPathComponent(path) == folder)
            names.push_back(HVFileSystem::lastPathComponent(path));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Where the file first differs from the bytes; npos when it holds exactly them. Read in
// pieces into one small buffer: after a fork, filling a large one copies it page by page.
std::size_t firstDifference(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buffer[1 << 16];
    std::size_t offset = 0;
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        std::string_view piece(buffer, std::size_t(n));
        std::string_view wanted = bytes.substr(std::min(offset, bytes.size()), piece.size());
        if (piece != wanted) {
            std::size_t i = 0;
            while (i < wanted.size() && piece[i] == wanted[i])
                ++i;
            ::close(fd);
            return offset + i;
        }
        offset += piece.size();
    }
    ::close(fd);
    return n == 0 && offset == bytes.size() ? std::string::npos : offset;
}

std::string outcome(bool saved, const HVError& error) {
    return saved ? "saved" : error.description();
}

std::string contentsOf(const std::string& path, std::string_view old) {
    std::size_t difference = firstDifference(path, old);
    return difference == std::string::npos ? "the old bytes"
                                           : "changed at byte " + std::to_string(difference);
}

std::string identityText(const std::optional<HVFileIdentity>& identity) {
    return ::testing::PrintToString(identity);
}

// Permission bits as ls and chmod write them.
std::string modeOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return "none";
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(st.st_mode & 07777));
    return text;
}

ino_t inodeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

// A folder "scratch" that every user may write, made the temporary folder (TMPDIR) for the
// life of the object: where an in-place save keeps its copy of the old bytes.
struct ScratchFolder {
    std::string path;
    HVScopedEnvironment environment;
    explicit ScratchFolder(const HVTemporaryDirectory& dir)
        : path(dir.pathFor("scratch")), environment("TMPDIR", path) {
        EXPECT_EQ(HVFileSystem::createDirectory(path), true);
        ::chmod(path.c_str(), 0777);
    }
};

// Gives the file a second name, "b.txt", as ln does.
std::string secondName(const HVTemporaryDirectory& dir, const std::string& file) {
    std::string name = dir.pathFor("b.txt");
    EXPECT_EQ(::link(file.c_str(), name.c_str()), 0);
    return name;
}

bool isLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The folder as the kernel names it, links resolved: /tmp may itself be a link.
std::string realFolder(const HVTemporaryDirectory& dir) {
    char buffer[PATH_MAX];
    return ::realpath(dir.path().c_str(), buffer) ? buffer : dir.path();
}

std::string makeLink(const HVTemporaryDirectory& dir, std::string_view name,
                     const std::string& target) {
    std::string link = dir.pathFor(name);
    HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(link));
    if (::symlink(target.c_str(), link.c_str()) != 0)
        ADD_FAILURE() << "cannot link " << link << " to " << target;
    return link;
}

// Runs a test in another current folder and returns to the old one afterwards.
struct HVCurrentFolder {
    std::filesystem::path old = std::filesystem::current_path();
    explicit HVCurrentFolder(const std::string& path) { std::filesystem::current_path(path); }
    ~HVCurrentFolder() { std::filesystem::current_path(old); }
};

} // namespace

TEST(HVFileSystem, AFailedAtomicWriteLeavesNoTemporaryFiles) {
    HVTemporaryDirectory dir;
    std::string path = dir.write("file.txt", "old");
    // A directory where the file should be cannot be replaced by a file.
    ASSERT_TRUE(HVFileSystem::createDirectory(dir.pathFor("blocked")));
    HVError error;
    EXPECT_FALSE(HVFileSystem::writeFileAtomically(dir.pathFor("blocked"), "x", &error));
    EXPECT_FALSE(error.description().empty());
    EXPECT_EQ(HVFileSystem::listRecursively(dir.path()).size(), 2u);
    EXPECT_EQ(HVReadFile(path), "old");
}

// Plain paths are taken apart by every save below; these are the edges.
TEST(HVFileSystem, PathComponents) {
    EXPECT_EQ(HVFileSystem::lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(HVFileSystem::lastPathComponent("/"), "/");
    EXPECT_EQ(HVFileSystem::deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(HVFileSystem::deletingLastPathComponent("a"), "");
    EXPECT_EQ(HVFileSystem::pathExtension("/x/archive.tar.gz"), "gz");
    EXPECT_EQ(HVFileSystem::pathExtension("/x/.profile"), "");
    EXPECT_EQ(HVFileSystem::pathExtension("/x.d/Makefile"), "");
    EXPECT_EQ(HVFileSystem::appendingPathComponent("/a/", "/b"), "/a/b");
}

TEST(HVFileSystem, TemporaryFilesAreUniqueAndPrivate) {
    HVTemporaryDirectory dir;
    int fd = -1;
    auto a = HVFileSystem::makeTemporaryFile(dir.pathFor("Halvet.tmp.XXXXXX"), &fd);
    auto b = HVFileSystem::makeTemporaryFile(dir.pathFor("Halvet.tmp.XXXXXX"), nullptr);
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    struct stat st;
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ::close(fd);
    EXPECT_FALSE(HVFileSystem::makeTemporaryFile("/nonexistent-dir/x.XXXXXX", nullptr));
}

// Saving through links

TEST(HVFileSystemSaving, AChainOfRelativeLinksAcrossFoldersStaysAndItsLastTargetIsWritten) {
    HVTemporaryDirectory dir;
    std::string target = dir.write("c/target.txt", "old");
    std::string second = makeLink(dir, "b/second", "../c/target.txt");
    std::string first = makeLink(dir, "a/first", "../b/second");
    HVError error;
    ASSERT_EQ(HVFileSystem::writeFileAtomically(first, "new", &error), true) << error.description();
    EXPECT_EQ(isLink(first), true);
    EXPECT_EQ(isLink(second), true);
    EXPECT_EQ(HVReadFile(target), "new");
    EXPECT_EQ(namesIn(dir.pathFor("c")), std::vector<std::string>{"target.txt"});
}

// A dangling link creates its target instead of becoming a file; one into a missing folder,
// and a cycle of links, are refused and nothing is written.
TEST(HVFileSystemSaving, DanglingAndCyclicLinksStayLinks) {
    HVTemporaryDirectory dir;
    HVFileSystem::createDirectory(dir.pathFor("real"));
    std::string link = makeLink(dir, "link.txt", "real/new.txt");
    std::string missing = makeLink(dir, "missing.txt", "missing/new.txt");
    std::string a = makeLink(dir, "a", "b");
    makeLink(dir, "b", "a");
    HVError error;
    ASSERT_EQ(HVFileSystem::writeFileAtomically(link, "new", &error), true) << error.description();
    EXPECT_EQ(HVReadFile(dir.pathFor("real/new.txt")), "new");
    EXPECT_EQ(HVFileSystem::writeFileAtomically(missing, "new", &error), false);
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_PRED2(contains, error.description(), dir.pathFor("missing"));
    EXPECT_PRED2(contains, error.description(), "No such file or directory");
    EXPECT_EQ(HVFileSystem::writeFileAtomically(a, "new", &error), false);
    EXPECT_EQ(error.code(), ELOOP);
    // A cycle among the folders on the way.
    EXPECT_EQ(HVFileSystem::resolvingLinks(dir.pathFor("a/file.txt"), &error), std::nullopt);
    EXPECT_EQ(error.code(), ELOOP);
    EXPECT_PRED2(contains, error.description(), "Too many levels of symbolic links");
    for (const std::string& path : {link, missing, a})
        EXPECT_EQ(isLink(path), true) << path;
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{"a", "b", "link.txt", "missing.txt", "real"}));
}

// Saving when killed

TEST(HVFileSystemSaving, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewBytes) {
    // In memory where there is such a folder: a kill exposes the order of writing and
    // renaming there as on a disk, and without a disk's syncs 200 rounds take a second.
    HVTemporaryDirectory dir(HVFileSystem::isDirectory("/dev/shm") ? "/dev/shm" : "/tmp");
    // Megabytes, so that a kill mostly lands while a save is writing; of different sizes, so
    // that a truncated or mixed file cannot pass for either.
    const std::string old(2 << 20, 'o');
    const std::string replacement(3 << 20, 'n');
    std::string path = dir.write("file.txt", old);
    auto began = std::chrono::steady_clock::now();
    ASSERT_EQ(HVFileSystem::writeFileAtomically(path, old), true);
    auto oneSave = std::chrono::steady_clock::now() - began;

    unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int64_t> delay(0, 2 * oneSave.count());
    int roundsThatKilledASave = 0;
    pid_t parent = ::getpid();
    for (int round = 0; round < 200; ++round) {
        int saving[2];
        ASSERT_EQ(::pipe(saving), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Told after a first save, so that the kills below land among saves and not
            // while a new process starts up.
            HVFileSystem::writeFileAtomically(path, replacement);
            (void)!::write(saving[1], "s", 1);
            for (int i = 0; ::getppid() == parent; ++i)
                HVFileSystem::writeFileAtomically(path, i % 2 ? replacement : old);
            ::_exit(0);
        }
        char signal;
        ASSERT_EQ(::read(saving[0], &signal, 1), 1);
        ::close(saving[0]);
        ::close(saving[1]);
        std::this_thread::sleep_for(std::chrono::steady_clock::duration(delay(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        auto identity = HVFileSystem::identityOfFile(path);
        ASSERT_NE(identity, std::nullopt);
        const std::string& expected = identity->size == old.size() ? old : replacement;
        ASSERT_EQ(firstDifference(path, expected), std::string::npos) << "round " << round;
        if (namesIn(dir.path()).size() > 1)
            ++roundsThatKilledASave;
        // The next save removes what the killed one left.
        ASSERT_EQ(HVFileSystem::writeFileAtomically(path, old), true);
        ASSERT_EQ(namesIn(dir.path()), std::vector<std::string>{"file.txt"}) << "round " << round;
    }
    // Else the test proved little about kills during a save.
    EXPECT_GE(roundsThatKilledASave, 20);
}

TEST(HVFileSystemSaving, OnlyTheUnlockedTemporariesOfTheSameFileAreRemoved) {
    HVTemporaryDirectory dir;
    std::string path = dir.write("file.txt", "old");
    dir.write(".file.txt.hvsave.Abc123", "left by a save that was killed");
    dir.write(".file.txt.hvsave.Running", "seven letters: not ours");
    dir.write(".other.txt.hvsave.Xyz789", "another file's");
    std::string live = dir.write(".file.txt.hvsave.Live00", "a save still writing");
    int liveFd = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(liveFd, 0);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);

    ASSERT_EQ(HVFileSystem::writeFileAtomically(path, "new"), true);
    ::close(liveFd);
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{".file.txt.hvsave.Live00", ".file.txt.hvsave.Running",
                                        ".other.txt.hvsave.Xyz789", "file.txt"}));
    EXPECT_EQ(HVReadFile(path), "new");
}

// Saving when the disk fails

// A file replaced through a rename, and a hard-linked one rewritten in place.
TEST(HVFileSystemSaving, AWriteBeyondTheFileSizeLimitKeepsTheOldBytes) {
    HVTemporaryDirectory dir;
    std::string old(1000, 'o');
    std::string path = dir.write("file.txt", old);
    std::string a = dir.write("a.txt", old);
    std::string b = secondName(dir, a);
    ScratchFolder scratchFolder(dir);
    // The old bytes fit under the limit, the new ones do not: the write fails part way.
    auto report = HVReportOfChild([&] {
        HVLimitFileSize(16 << 10);
        std::vector<std::string> lines;
        for (const std::string& file : {path, a}) {
            HVError error;
            bool saved =
                HVFileSystem::writeFileAtomically(file, std::string(64 << 10, 'n'), &error);
            lines.push_back(outcome(saved, error));
            lines.push_back(error.recoverySuggestion());
        }
        return lines;
    });
    ASSERT_EQ(report.size(), 4u) << joined(report);
    EXPECT_PRED2(contains, report[0], "File too large");
    EXPECT_PRED2(contains, report[0], path);
    EXPECT_PRED2(contains, report[2], "File too large");
    EXPECT_EQ(report[3], "");
    EXPECT_EQ(contentsOf(path, old), "the old bytes");
    EXPECT_EQ(contentsOf(a, old), "the old bytes");
    EXPECT_EQ(inodeOf(b), inodeOf(a));
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{"a.txt", "b.txt", "file.txt", "scratch"}));
    EXPECT_EQ(namesIn(scratchFolder.path), std::vector<std::string>{})
        << "the copy of the old bytes is removed";
}

// A file replaced through a rename, and a hard-linked one that an in-place save must leave
// untouched, not even written and put back.
TEST(HVFileSystemSaving, AFullDiskKeepsTheOldBytes) {
    HVTemporaryDirectory dir;
    std::string small = dir.pathFor("small");
    ASSERT_EQ(HVFileSystem::createDirectory(small), true);
    ScratchFolder scratchFolder(dir);
    auto report = HVReportOfChild([&]() -> std::vector<std::string> {
        if (auto refused = HVMountSmallFileSystem(small))
            return {*refused};
        std::string path = small + "/file.txt", a = small + "/a.txt", b = small + "/b.txt";
        std::string old(8 << 10, 'o');
        if (!HVFileSystem::writeFileAtomically(path, old) ||
            !HVFileSystem::writeFileAtomically(a, old) || ::link(a.c_str(), b.c_str()) != 0)
            return {"cannot write the old files"};
        auto before = HVFileSystem::identityOfFile(a);
        std::vector<std::string> lines;
        for (const std::string& file : {path, a}) {
            HVError error;
            bool saved =
                HVFileSystem::writeFileAtomically(file, std::string(128 << 10, 'n'), &error);
            lines.push_back(outcome(saved, error));
        }
        return {lines[0],
                lines[1],
                contentsOf(path, old),
                contentsOf(b, old),
                identityText(before),
                identityText(HVFileSystem::identityOfFile(a)),
                joined(namesIn(small))};
    });
    if (report.size() == 1 && contains(report[0], "cannot mount"))
        GTEST_SKIP() << report[0];
    ASSERT_EQ(report.size(), 7u) << joined(report);
    EXPECT_PRED2(contains, report[0], "No space left on device");
    EXPECT_PRED2(contains, report[1], "No space left on device");
    EXPECT_EQ(report[2], "the old bytes");
    EXPECT_EQ(report[3], "the old bytes");
    EXPECT_EQ(report[5], report[4]) << "not even written and put back";
    EXPECT_EQ(report[6], "a.txt b.txt file.txt");
    EXPECT_EQ(namesIn(scratchFolder.path), std::vector<std::string>{});
}

TEST(HVFileSystemSaving, ANamedPipeIsNotReplacedByAFile) {
    HVTemporaryDirectory dir;
    std::string fifo = dir.pathFor("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    HVError error;
    EXPECT_EQ(HVFileSystem::writeFileAtomically(fifo, "new", &error), false);
    EXPECT_PRED2(contains, error.description(), "is a named pipe, not a regular file");
    struct stat st;
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_EQ(S_ISFIFO(st.st_mode), true);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"pipe"});
}

// What a save keeps

TEST(HVFileSystemSaving, AReplacedFileKeepsOwnerAndBitsAndANewOneGetsWhatTheUmaskAllows) {
    HVTemporaryDirectory dir;
    std::string path = dir.write("tool", "old");
    // Another owner, so that the bits must survive the change of owner too.
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(path.c_str(), 07754), 0);
    ino_t inode = inodeOf(path);
    ASSERT_EQ(HVFileSystem::writeFileAtomically(path, "new"), true);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_ino, inode) << "replaced through a rename";
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(modeOf(path), "7754");
    mode_t mask = ::umask(027);
    bool saved = HVFileSystem::writeFileAtomically(dir.pathFor("new.txt"), "new");
    ::umask(mask);
    ASSERT_EQ(saved, true);
    EXPECT_EQ(modeOf(dir.pathFor("new.txt")), "0640");
}

TEST(HVFileSystemSaving, AReadOnlyFileIsRefusedEvenWhereItsFolderIsWritable) {
    HVTemporaryDirectory dir;
    ::chmod(dir.path().c_str(), 0777);
    std::string path = dir.write("file.txt", "old");
    // The user's own file: only its mode stands in the way of a rename.
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    auto report = HVReportOfChild(
        [&] {
            HVError error;
            bool saved = HVFileSystem::writeFileAtomically(path, "new", &error);
            return std::vector<std::string>{outcome(saved, error), std::to_string(error.code())};
        },
        true);
    ASSERT_EQ(report.size(), 2u) << joined(report);
    EXPECT_PRED2(contains, report[0], "Permission denied");
    EXPECT_EQ(report[1], std::to_string(EACCES));
    EXPECT_EQ(HVReadFile(path), "old");
    EXPECT_EQ(modeOf(path), "0444");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"file.txt"});
}

TEST(HVFileSystem, TheIdentityWrittenOrReadIsThatOfTheFile) {
    HVTemporaryDirectory dir;
    std::string path = dir.pathFor("file.txt");
    // A link with an absolute target; the relative ones are in the chain above.
    std::string link = makeLink(dir, "link.txt", path);
    HVFileIdentity written;
    ASSERT_EQ(HVFileSystem::writeFileAtomically(path, "created", nullptr, &written), true);
    EXPECT_EQ(written, HVFileSystem::identityOfFile(path));
    ASSERT_EQ(HVFileSystem::writeFileAtomically(path, "replaced", nullptr, &written), true);
    EXPECT_EQ(written, HVFileSystem::identityOfFile(path));
    ASSERT_EQ(HVFileSystem::writeFileAtomically(link, "through a link", nullptr, &written), true);
    EXPECT_EQ(written, HVFileSystem::identityOfFile(path));
    EXPECT_EQ(written.size, 14u);
    EXPECT_EQ(isLink(link), true);
    HVFileIdentity read;
    EXPECT_EQ(HVFileSystem::readFile(link, nullptr, &read), "through a link");
    EXPECT_EQ(read, written);
}

// Saving in place

// As another user, who may write both files: one is root's, so that a replacement would be
// the user's; the other lies in a folder the user may not write, so that no rename can
// replace it.
TEST(HVFileSystemSaving, WhatARenameCannotReplaceAsItWasIsRewrittenInPlace) {
    HVTemporaryDirectory dir;
    ::chmod(dir.path().c_str(), 0777);
    std::string owned = dir.write("file.txt", "old");
    std::string locked = dir.write("locked/file.txt", "old");
    ::chmod(dir.pathFor("locked").c_str(), 0755);
    ScratchFolder scratchFolder(dir);
    std::vector<ino_t> inodes;
    for (const std::string& path : {owned, locked}) {
        ::chmod(path.c_str(), 0666);
        inodes.push_back(inodeOf(path));
    }
    auto report = HVReportOfChild(
        [&] {
            std::vector<std::string> lines;
            for (const std::string& path : {owned, locked}) {
                HVError error;
                HVFileIdentity written;
                bool saved =
                    HVFileSystem::writeFileAtomically(path, "new and longer", &error, &written);
                lines.push_back(outcome(saved, error));
                lines.push_back(identityText(written));
            }
            return lines;
        },
        true);
    ASSERT_EQ(report.size(), 4u) << joined(report);
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string& path = i == 0 ? owned : locked;
        EXPECT_EQ(report[2 * i], "saved") << path;
        EXPECT_EQ(HVReadFile(path), "new and longer") << path;
        EXPECT_EQ(inodeOf(path), inodes[i]) << path;
        EXPECT_EQ(report[2 * i + 1], identityText(HVFileSystem::identityOfFile(path))) << path;
    }
    struct stat st;
    ASSERT_EQ(::stat(owned.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u) << "the owner is kept";
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"file.txt", "locked", "scratch"}));
    EXPECT_EQ(namesIn(dir.pathFor("locked")), std::vector<std::string>{"file.txt"});
    EXPECT_EQ(namesIn(scratchFolder.path), std::vector<std::string>{})
        << "the copies of the old bytes are removed";
}

TEST(HVFileSystemSaving, AHardLinkedFileIsRewrittenInPlaceForAllItsNames) {
    HVTemporaryDirectory dir;
    std::string a = dir.write("a.txt", "old bytes");
    std::string b = secondName(dir, a);
    ino_t inode = inodeOf(a);
    for (std::string bytes : {"longer new bytes", "short"}) {
        HVError error;
        HVFileIdentity written;
        ASSERT_EQ(HVFileSystem::writeFileAtomically(a, bytes, &error, &written), true)
            << error.description();
        EXPECT_EQ(HVReadFile(a), bytes);
        EXPECT_EQ(HVReadFile(b), bytes);
        EXPECT_EQ(inodeOf(a), inode);
        EXPECT_EQ(inodeOf(b), inode);
        EXPECT_EQ(written, HVFileSystem::identityOfFile(b));
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(HVFileSystemSaving, AnInPlaceSaveWithoutRoomForTheCopyIsRefusedAndLeavesTheFileAlone) {
    HVTemporaryDirectory dir;
    std::string a = dir.write("a.txt", "old");
    std::string b = secondName(dir, a);
    auto before = HVFileSystem::identityOfFile(a);
    HVScopedEnvironment temporaryFolder("TMPDIR", dir.pathFor("missing"));
    HVError error;
    EXPECT_EQ(HVFileSystem::writeFileAtomically(a, "new", &error), false);
    EXPECT_PRED2(contains, error.description(), "Cannot keep a copy of the old contents of");
    EXPECT_PRED2(contains, error.description(), "No such file or directory");
    EXPECT_PRED2(contains, error.recoverySuggestion(), dir.pathFor("missing"));
    EXPECT_EQ(HVReadFile(b), "old");
    EXPECT_EQ(HVFileSystem::identityOfFile(a), before);
}

// Reading

TEST(HVFileSystemReading, WhatIsNotARegularFileOrIsOverTheLimitIsRefused) {
    HVTemporaryDirectory dir;
    std::string fifo = dir.pathFor("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::string big = dir.write("big.txt", std::string(4097, 'x'));
    std::string sparse = dir.write("sparse", "");
    // 4 TB of nothing: reserving room for it, let alone reading it, cannot succeed.
    ASSERT_EQ(::truncate(sparse.c_str(), off_t(4) << 40), 0);
    struct Case {
        std::string path;
        std::uint64_t limit;
        int code; // 0: any
        const char* message;
    };
    const Case cases[] = {
        // With no writer, a blocking open or read would hang the test here.
        {fifo, UINT64_MAX, EINVAL, "is a named pipe, not a regular file"},
        // /dev/zero would never end; it must be refused, not read until memory runs out.
        {"/dev/zero", UINT64_MAX, 0, "is a character device, not a regular file"},
        {dir.path(), UINT64_MAX, EISDIR, "Is a directory"},
        {big, 4096, EFBIG, "File too large"},
        {sparse, 1 << 20, EFBIG, "File too large"},
    };
    for (const Case& c : cases) {
        HVError error;
        EXPECT_EQ(HVFileSystem::readFile(c.path, &error, nullptr, c.limit), std::nullopt) << c.path;
        EXPECT_EQ(c.code ? error.code() : 0, c.code) << c.path;
        EXPECT_PRED2(contains, error.description(), c.message);
    }
    EXPECT_EQ(HVFileSystem::readFile(big, nullptr, nullptr, 4097), std::string(4097, 'x'));
}

// Canonical paths

TEST(HVFileSystemCanonicalPath, DotsSlashesAndLinksGoAsTheKernelResolvesThem) {
    HVTemporaryDirectory dir;
    dir.write("a/b", "x");
    dir.write("deep/real/file.txt", "x");
    dir.write("deep/other.txt", "x");
    makeLink(dir, "link", "deep/real");
    makeLink(dir, "here", ".");
    std::string real = realFolder(dir);
    const std::pair<std::string, std::string> cases[] = {
        {dir.path() + "/a/./b", real + "/a/b"},
        {dir.path() + "//a//b", real + "/a/b"},
        {dir.path() + "/a/b/", real + "/a/b"},
        {"/", "/"},
        {"/..", "/"},
        {dir.pathFor("link/file.txt"), real + "/deep/real/file.txt"},
        // The kernel opens "link/../other.txt" as deep/other.txt, so the same file must get
        // the same canonical path.
        {dir.pathFor("link/../other.txt"), real + "/deep/other.txt"},
        // A missing tail is cleaned as text.
        {dir.pathFor("here/missing/./x/../y"), real + "/missing/y"},
        // A relative path starts at the current folder.
        {"a/../b", real + "/b"},
        {".", real},
    };
    HVCurrentFolder inside(dir.path());
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(HVFileSystem::canonicalPath(path), expected) << path;
}

// Same file

TEST(HVFileSystemSameFile, NamesOfOneFileOrOfOneMissingPlace) {
    HVTemporaryDirectory dir;
    std::string a = dir.write("a.txt", "x");
    std::string target = dir.write("real/file.txt", "x");
    HVFileSystem::createDirectory(dir.pathFor("sub"));
    struct Case {
        std::string first, second;
        bool same;
    };
    const Case cases[] = {
        {a, secondName(dir, a), true},
        {a, dir.write("c.txt", "x"), false},
        {makeLink(dir, "link.txt", "real/file.txt"), target, true},
        // Missing paths are one file only when they name the same place.
        {dir.pathFor("sub/../new.txt"), dir.pathFor("./new.txt"), true},
        {dir.pathFor("new.txt"), dir.pathFor("other.txt"), false},
        {dir.pathFor("new.txt"), a, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HVFileSystem::isSameFile(c.first, c.second), c.same)
            << c.first << " " << c.second;
}

TEST(HVFileSystem, RelativePathsGoUpToTheCommonFolderThenDown) {
    struct Case {
        const char* file;
        const char* folder;
        const char* relative;
    } cases[] = {
        {"/a/b/c.png", "/a/b", "c.png"},        {"/a/b/img/c.png", "/a/b", "img/c.png"},
        {"/a/c.png", "/a/b", "../c.png"},       {"/x/y/c.png", "/a/b", "../../x/y/c.png"},
        {"/a/bc/d.png", "/a/b", "../bc/d.png"}, {"/a/b/d.png", "/a/bc", "../b/d.png"},
        {"/a//b/./c.png", "/a/b/", "c.png"},    {"/c.png", "/", "c.png"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HVFileSystem::relativePathTo(c.file, c.folder), c.relative)
            << c.file << " from " << c.folder;
}
