#include "HVFileSystem.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(HVFileSystem, AtomicWriteGoesThroughASymbolicLink) {
    HVTemporaryDirectory dir;
    std::string target = dir.write("real/target.txt", "old");
    std::string link = dir.pathFor("link.txt");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(HVFileSystem::writeFileAtomically(link, "new"));
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(HVReadFile(target), "new");
}

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

TEST(HVFileSystem, PathComponents) {
    EXPECT_EQ(HVFileSystem::lastPathComponent("/a/b/page.utf8.html"), "page.utf8.html");
    EXPECT_EQ(HVFileSystem::lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(HVFileSystem::lastPathComponent("/"), "/");
    EXPECT_EQ(HVFileSystem::deletingLastPathComponent("/a/b"), "/a");
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
