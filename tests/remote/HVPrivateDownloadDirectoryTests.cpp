#include "HVFileSystem.h"
#include "HVPrivateDownloadDirectory.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// "mode owner" of what is at the path, without following a link; "link" for a link.
std::string describe(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return "missing";
    if (S_ISLNK(info.st_mode))
        return "link";
    char text[32];
    std::snprintf(text, sizeof text, "%s %o %s", S_ISDIR(info.st_mode) ? "dir" : "file",
                  info.st_mode & 07777, info.st_uid == ::geteuid() ? "mine" : "other");
    return text;
}

} // namespace

TEST(HVPrivateDownloadDirectory, UsesTheRuntimeFolderOnlyWhenItIsPrivate) {
    HVTemporaryDirectory runtime;
    HVTemporaryDirectory tmp;
    HVScopedEnvironment tmpdir("TMPDIR", tmp.path());
    struct Case {
        mode_t runtimeMode;
        bool underRuntime;
    };
    for (const Case c : {Case{0700, true}, Case{0755, false}, Case{0777, false}}) {
        ASSERT_EQ(::chmod(runtime.path().c_str(), c.runtimeMode), 0);
        HVScopedEnvironment variable("XDG_RUNTIME_DIR", runtime.path());
        HVError error;
        const auto folder = HVPrivateDownloadDirectoryForNode("node-1", &error);
        ASSERT_TRUE(folder) << error.fullDescription();
        const std::string base = c.underRuntime ? runtime.path() : tmp.path();
        EXPECT_EQ(HVFileSystem::deletingLastPathComponent(
                      HVFileSystem::deletingLastPathComponent(*folder)),
                  base)
            << std::oct << c.runtimeMode;
        EXPECT_EQ(describe(*folder), "dir 700 mine");
        EXPECT_EQ(describe(HVFileSystem::deletingLastPathComponent(*folder)), "dir 700 mine");
    }
}

TEST(HVPrivateDownloadDirectory, NeverFollowsALinkPlantedAtTheNodesPath) {
    HVTemporaryDirectory runtime;
    HVTemporaryDirectory elsewhere;
    ::chmod(runtime.path().c_str(), 0700);
    HVScopedEnvironment variable("XDG_RUNTIME_DIR", runtime.path());
    const auto base = HVPrivateDownloadDirectory();
    ASSERT_TRUE(base);
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), (*base + "/planted").c_str()), 0);
    ::mkdir((*base + "/open").c_str(), 0777);
    ::chmod((*base + "/open").c_str(), 0777);

    for (const char* node : {"planted", "open", "../escape", ""}) {
        HVError error;
        EXPECT_FALSE(HVPrivateDownloadDirectoryForNode(node, &error)) << node;
        EXPECT_FALSE(error.description().empty()) << node;
    }
    EXPECT_EQ(describe(*base + "/planted"), "link");
    EXPECT_EQ(describe(elsewhere.path()), "dir 700 mine");
}
