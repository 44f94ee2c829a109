#include "HVFileSystem.h"
#include "HVTestSupport.h"
#include "HVTrash.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string read(const std::string& path) {
    return HVFileSystem::readFile(path).value_or("<none>");
}

// Each trashed item as "name: Path" from its info file.
std::vector<std::string> trashed(const std::string& trash) {
    std::vector<std::string> items;
    for (const auto& entry : std::filesystem::directory_iterator(trash + "/info")) {
        const std::string text = read(entry.path());
        const auto at = text.find("Path=");
        items.push_back(entry.path().filename().string() + ": " +
                        text.substr(at + 5, text.find('\n', at) - at - 5));
    }
    std::sort(items.begin(), items.end());
    return items;
}

class HVTrashTest : public ::testing::Test {
protected:
    HVTemporaryDirectory m_data;
    HVTemporaryDirectory m_files;
    HVScopedEnvironment m_dataHome{"XDG_DATA_HOME", m_data.pathFor("share")};
    std::string trash() const { return m_data.pathFor("share/Trash"); }
};

} // namespace

TEST_F(HVTrashTest, WritesTheItemAndAnInfoFileThatRestoresIt) {
    const std::string file = m_files.write("page.html", "<p>x</p>");
    HVError error;
    ASSERT_TRUE(HVMoveToTrash(file, &error)) << error.fullDescription();

    EXPECT_FALSE(HVFileSystem::exists(file));
    EXPECT_EQ(read(trash() + "/files/page.html"), "<p>x</p>");
    const std::string info = read(trash() + "/info/page.html.trashinfo");
    // "[Trash Info]", the path, and a date of the form 2026-12-07T08:15:00.
    const std::string head = "[Trash Info]\nPath=" + file + "\nDeletionDate=";
    ASSERT_EQ(info.substr(0, head.size()), head) << info;
    std::string date = info.substr(head.size());
    for (char& c : date)
        c = std::isdigit(static_cast<unsigned char>(c)) ? '9' : c;
    EXPECT_EQ(date, "9999-99-99T99:99:99\n") << info;
    struct stat status {};
    ASSERT_EQ(::stat(trash().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(HVTrashTest, KeepsEveryItemOfTheSameNameUnderANewNameAndEscapesThePath) {
    struct Case {
        std::string folder;
        std::string name;
        std::string infoName;
    };
    const Case cases[] = {
        {"a", "notes.txt", "notes.txt.trashinfo"},   {"b", "notes.txt", "notes.2.txt.trashinfo"},
        {"c", "notes.txt", "notes.3.txt.trashinfo"}, {"a", "Makefile", "Makefile.trashinfo"},
        {"b", "Makefile", "Makefile.2.trashinfo"},   {"a", "a b%ü.css", "a b%ü.css.trashinfo"},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        const std::string path = m_files.write(c.folder + "/" + c.name, c.folder);
        ASSERT_TRUE(HVMoveToTrash(path)) << path;
        std::string encoded = path;
        if (c.name == "a b%ü.css")
            encoded = m_files.pathFor(c.folder) + "/a%20b%25%C3%BC.css";
        expected.push_back(c.infoName + ": " + encoded);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(trashed(trash()), expected);
    EXPECT_EQ(read(trash() + "/files/notes.3.txt"), "c");
    EXPECT_EQ(read(trash() + "/files/Makefile.2"), "b");
}

TEST_F(HVTrashTest, NeverReplacesAnItemThatTheTrashAlreadyHolds) {
    // Another program left an item without its info file.
    m_files.write("first/x.txt", "old");
    ASSERT_TRUE(HVMoveToTrash(m_files.pathFor("first/x.txt")));
    std::filesystem::remove(trash() + "/info/x.txt.trashinfo");

    ASSERT_TRUE(HVMoveToTrash(m_files.write("x.txt", "new")));
    EXPECT_EQ(read(trash() + "/files/x.txt"), "old");
    EXPECT_EQ(read(trash() + "/files/x.2.txt"), "new");
    EXPECT_FALSE(HVFileSystem::exists(trash() + "/info/x.txt.trashinfo"));
}

TEST_F(HVTrashTest, MovesAFolderWholeAndALinkNotItsTarget) {
    m_files.write("site/css/a.css", "a");
    ASSERT_EQ(
        ::symlink(m_files.pathFor("site/css/a.css").c_str(), m_files.pathFor("link.css").c_str()),
        0);
    ASSERT_TRUE(HVMoveToTrash(m_files.pathFor("link.css")));
    ASSERT_TRUE(HVMoveToTrash(m_files.pathFor("site")));
    EXPECT_EQ(read(trash() + "/files/site/css/a.css"), "a");
    struct stat status {};
    ASSERT_EQ(::lstat((trash() + "/files/link.css").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
}

TEST_F(HVTrashTest, ReportsWhyNothingWasMoved) {
    HVError error;
    EXPECT_FALSE(HVMoveToTrash(m_files.pathFor("missing.txt"), &error));
    EXPECT_EQ(error.code(), ENOENT);

    // A link planted where the trash's files folder goes is never followed.
    HVTemporaryDirectory elsewhere;
    ASSERT_TRUE(HVFileSystem::createDirectory(trash(), 0700));
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), (trash() + "/files").c_str()), 0);
    const std::string file = m_files.write("kept.txt", "k");
    EXPECT_FALSE(HVMoveToTrash(file, &error));
    EXPECT_EQ(read(file), "k");
    EXPECT_FALSE(HVFileSystem::exists(elsewhere.pathFor("kept.txt")));
    EXPECT_NE(error.description().find("kept.txt"), std::string::npos) << error.description();
}

TEST_F(HVTrashTest, UsesTheTrashOfTheFilesOwnMountOnAnotherDevice) {
    struct stat shm {
    }, data{};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(m_data.path().c_str(), &data) != 0 ||
        shm.st_dev == data.st_dev)
        GTEST_SKIP() << "no second file system to try";
    const std::string topTrash = "/dev/shm/.Trash-" + std::to_string(::geteuid());
    const bool existed = HVFileSystem::exists(topTrash);
    HVTemporaryDirectory other("/dev/shm");
    HVError error;
    ASSERT_TRUE(HVMoveToTrash(other.write("on-shm.txt", "shm"), &error)) << error.fullDescription();
    EXPECT_EQ(read(topTrash + "/files/on-shm.txt"), "shm");
    // Relative to the mount.
    const std::string name = HVFileSystem::lastPathComponent(other.path());
    const std::string info = read(topTrash + "/info/on-shm.txt.trashinfo");
    EXPECT_NE(info.find("\nPath=" + name + "/on-shm.txt\n"), std::string::npos) << info;
    struct stat status {};
    ASSERT_EQ(::lstat(topTrash.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    std::filesystem::remove(topTrash + "/files/on-shm.txt");
    std::filesystem::remove(topTrash + "/info/on-shm.txt.trashinfo");
    if (!existed)
        std::filesystem::remove_all(topTrash);
}
