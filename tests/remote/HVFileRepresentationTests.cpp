#include "HVFileRepresentation.h"
#include "HVFileSystem.h"
#include "HVLocalFile.h"
#include "HVLocalFileRepresentation.h"
#include "HVNotificationCenter.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// The local representation works on real folders; its reports are kept as text lines.

namespace {

using Lines = std::vector<std::string>;

std::string contextText(const HVFileRepresentation::Context& context) {
    return context ? *std::static_pointer_cast<std::string>(context) : "none";
}

std::string namesOf(const HVFileRepresentationDelegate::Representations& children) {
    std::string text;
    for (const auto& child : children)
        text += (text.empty() ? "" : " ") + child->name() +
                (child->fileType() == HVFileRepresentation::Directory ? "/" : "");
    return text;
}

// Every report of a representation as a line; errors as "error <errno> <file name>".
class LocalRecorder : public HVFileRepresentationDelegate {
public:
    void didLoadChildren(HVFileRepresentation&, const Representations& children) override {
        events.push_back("loaded " + namesOf(children));
    }
    void didReloadChildren(HVFileRepresentation&, const Representations& children) override {
        events.push_back("reloaded " + namesOf(children));
    }
    void didDelete(HVFileRepresentation&, bool success) override {
        events.push_back("deleted " + std::to_string(success));
    }
    void didMoveToTrash(HVFileRepresentation&, bool success) override {
        events.push_back("trashed " + std::to_string(success));
    }
    void didDuplicate(HVFileRepresentation&, std::shared_ptr<HVFileRepresentation> copy) override {
        events.push_back("duplicated " + (copy ? copy->name() : "none"));
    }
    void didMove(HVFileRepresentation& file, bool success, const Context& context) override {
        events.push_back("moved " + std::to_string(success) + " " + contextText(context) + " " +
                         file.name());
    }
    void didRename(HVFileRepresentation& file, bool success, const Context& context) override {
        events.push_back("renamed " + std::to_string(success) + " " + contextText(context) + " " +
                         file.name());
    }
    void hadError(HVFileRepresentation&, const HVError& error) override {
        const HVPlistValue* path = error.userInfoValue(HVFilePathErrorKey);
        events.push_back(
            "error " + std::to_string(error.code()) + " " +
            (path && path->string() ? HVFileSystem::lastPathComponent(*path->string()) : "?"));
    }
    Lines events;
};

HVFileRepresentation::Context context(const std::string& text) {
    return std::make_shared<std::string>(text);
}

class HVLocalFileRepresentationTest : public ::testing::Test {
protected:
    std::shared_ptr<HVLocalFileRepresentation> represent(const std::string& relative) {
        return HVLocalFileRepresentation::initWithPath(m_folder.pathFor(relative), m_recorder);
    }
    bool exists(const std::string& relative) const {
        struct stat info {};
        return ::lstat(m_folder.pathFor(relative).c_str(), &info) == 0;
    }

    HVTemporaryDirectory m_folder;
    std::shared_ptr<LocalRecorder> m_recorder = std::make_shared<LocalRecorder>();
};

} // namespace

TEST(HVFileRepresentationText, ModeTextBothWays) {
    struct Case {
        std::uint16_t mode;
        const char* text;
    };
    const Case cases[] = {
        {0100644, "-rw-r--r-- "}, {040755, "drwxr-xr-x "},  {0120777, "lrwxrwxrwx "},
        {010600, "prw------- "},  {020620, "crw--w---- "},  {060660, "brw-rw---- "},
        {0140755, "srwxr-xr-x "}, {0104755, "-rwsr-xr-x "}, {0104644, "-rwSr--r-- "},
        {0102755, "-rwxr-sr-x "}, {0102745, "-rwxr-Sr-x "}, {041777, "drwxrwxrwt "},
        {041776, "drwxrwxrwT "},  {0100000, "---------- "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HVFileRepresentation::stringFromMode(c.mode), c.text) << std::oct << c.mode;
        EXPECT_EQ(HVFileRepresentation::modeFromString(c.text), c.mode) << c.text;
    }
    // Listings print ten characters without the blank, other types, or too little.
    const std::pair<const char*, std::uint16_t> parsed[] = {
        {"-rw-r--r--", 0100644},
        {"drwxr-xr-x", 040755},
        {"?rwx------", 0100700},
        {"wr--r--r--", 0160444},
        {"drwx", 0},
        {"", 0},
    };
    for (const auto& [text, mode] : parsed)
        EXPECT_EQ(HVFileRepresentation::modeFromString(text), mode) << text;
}

TEST(HVFileRepresentationText, SizeTextStepsUpAtEach1024) {
    const std::uint64_t KB = 1024, MB = KB * KB, GB = MB * KB, TB = GB * KB, PB = TB * KB;
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 B"},          {1023, "1023 B"}, {1024, "1 KB"},         {1536, "2 KB"},
        {MB - 1, "1024 KB"}, {MB, "1.0 MB"},   {MB * 3 / 2, "1.5 MB"}, {GB * 5, "5.0 GB"},
        {TB * 3, "3.0 TB"},  {PB, "1.0 PB"},   {PB * 1024, ""},
    };
    for (const auto& [size, text] : cases)
        EXPECT_EQ(HVFileRepresentation::formattedStringForSize(size), text) << size;
}

TEST_F(HVLocalFileRepresentationTest, ReadsAttributesFollowingLinksAndShowsFoldersSizeAsDashes) {
    const std::string file = m_folder.write("page.html", std::string(1536, 'x'));
    ::chmod(file.c_str(), 0640);
    ASSERT_EQ(::symlink(file.c_str(), m_folder.pathFor("link.html").c_str()), 0);
    ::mkdir(m_folder.pathFor("css").c_str(), 0755);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);

    const auto link = represent("link.html");
    EXPECT_EQ(link->name(), "link.html");
    EXPECT_EQ(link->mode(), 0100640);
    EXPECT_EQ(link->size(), 1536u);
    EXPECT_EQ(link->sizeString(), "2 KB");
    EXPECT_EQ(link->modificationDate(), std::int64_t(info.st_mtim.tv_sec));
    EXPECT_EQ(link->owner(), std::string(::getpwuid(info.st_uid)->pw_name));
    EXPECT_EQ(represent("css")->sizeString(), "--");
    EXPECT_EQ(represent("css")->fileType(), HVFileRepresentation::Directory);
    EXPECT_FALSE(represent("missing")->loadFileAttributes());
}

TEST_F(HVLocalFileRepresentationTest, LoadsChildrenOnceAndReloadsThemEveryTime) {
    m_folder.write("site/b.css", "b");
    m_folder.write("site/a/index.html", "i");
    m_folder.write("site/.hidden", "h");
    const auto site = represent("site");
    EXPECT_TRUE(site->loadChildren());
    m_folder.write("site/c.js", "c");
    EXPECT_TRUE(site->loadChildren());
    EXPECT_TRUE(site->loaded());
    EXPECT_TRUE(site->reloadChildren());
    EXPECT_EQ(m_recorder->events,
              (Lines{"loaded .hidden a/ b.css", "reloaded .hidden a/ b.css c.js"}));
}

TEST_F(HVLocalFileRepresentationTest, DeletingATreeGoesOnPastAnEntryThatCannotBeRemoved) {
    m_folder.write("site/a.txt", "a");
    m_folder.write("site/locked/kept.txt", "k");
    m_folder.write("site/z/b.txt", "b");
    // The child below runs without root's privileges: a folder without write permission then
    // keeps its entry.
    ::chmod(m_folder.path().c_str(), 0755);
    if (::geteuid() == 0)
        for (const auto& path : HVFileSystem::listRecursively(m_folder.path()))
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(m_folder.pathFor("site/locked").c_str(), 0555), 0);

    const Lines report = HVReportOfChild(
        [&] {
            auto recorder = std::make_shared<LocalRecorder>();
            HVLocalFileRepresentation::initWithPath(m_folder.pathFor("site"), recorder)->remove();
            return recorder->events;
        },
        true);
    ::chmod(m_folder.pathFor("site/locked").c_str(), 0755);
    EXPECT_EQ(report, (Lines{"error " + std::to_string(EACCES) + " kept.txt", "deleted 0"}));
    EXPECT_TRUE(exists("site/locked/kept.txt"));
    EXPECT_FALSE(exists("site/a.txt"));
    EXPECT_FALSE(exists("site/z"));

    represent("site")->remove();
    EXPECT_EQ(m_recorder->events, Lines{"deleted 1"});
    EXPECT_FALSE(exists("site"));
}

TEST_F(HVLocalFileRepresentationTest, MoveAndRenameReportWithTheirContextAndNeverReplace) {
    m_folder.write("old.html", "old");
    m_folder.write("taken.html", "taken");
    ::mkdir(m_folder.pathFor("sub").c_str(), 0755);
    const auto file = represent("old.html");

    file->rename("new.html", context("rename-1"));
    file->rename("taken.html", context("rename-2"));
    EXPECT_TRUE(file->moveToPath(m_folder.pathFor("sub/moved.html"), context("move-1")));
    EXPECT_FALSE(file->moveToPath(m_folder.pathFor("missing/x.html"), context("move-2")));

    EXPECT_EQ(
        m_recorder->events,
        (Lines{"renamed 1 rename-1 new.html", "error " + std::to_string(EEXIST) + " new.html",
               "renamed 0 rename-2 new.html", "moved 1 move-1 moved.html",
               "error " + std::to_string(ENOENT) + " moved.html", "moved 0 move-2 moved.html"}));
    EXPECT_EQ(HVReadFile(m_folder.pathFor("taken.html")), "taken");
    EXPECT_EQ(HVReadFile(m_folder.pathFor("sub/moved.html")), "old");
}

TEST_F(HVLocalFileRepresentationTest, CopiesGetTheFirstFreeNumberedName) {
    struct Case {
        std::string name;
        bool asDirectory;
        Lines expected;
    };
    const Case cases[] = {
        {"x.txt", false, {"x copy.txt", "x copy 1.txt", "x copy 2.txt"}},
        {"Makefile", false, {"Makefile copy", "Makefile copy 1"}},
        {"archive.tar.gz", false, {"archive.tar copy.gz"}},
        {"my.site", true, {"my.site copy", "my.site copy 1"}},
    };
    for (const Case& c : cases) {
        const std::string path = m_folder.write(c.name, "x");
        for (const std::string& expected : c.expected) {
            const std::string copy =
                HVLocalFileRepresentation::pathForCopyOfFile(path, " copy", c.asDirectory);
            EXPECT_EQ(copy, m_folder.pathFor(expected)) << c.name;
            // A dangling link holds its name too.
            ASSERT_EQ(::symlink("nowhere", copy.c_str()), 0);
        }
    }
    EXPECT_EQ(HVLocalFileRepresentation::pathForCopyOfFile(m_folder.pathFor("x.txt")),
              m_folder.pathFor("x copy 3.txt"));
}

TEST_F(HVLocalFileRepresentationTest, DuplicatesBesideItselfAndTrashesToTheUsersTrash) {
    m_folder.write("x.txt", "bytes");
    m_folder.write("site/index.html", "i");
    const auto file = represent("x.txt");
    file->duplicate();
    file->duplicate();
    represent("site")->duplicate();
    EXPECT_EQ(HVReadFile(m_folder.pathFor("x copy 1.txt")), "bytes");
    EXPECT_EQ(HVReadFile(m_folder.pathFor("site copy/index.html")), "i");

    HVTemporaryDirectory data;
    HVScopedEnvironment dataHome("XDG_DATA_HOME", data.path());
    file->moveToTrash();
    represent("gone.txt")->moveToTrash();
    EXPECT_EQ(m_recorder->events,
              (Lines{"duplicated x copy.txt", "duplicated x copy 1.txt", "duplicated site copy",
                     "trashed 1", "error " + std::to_string(ENOENT) + " gone.txt", "trashed 0"}));
    EXPECT_EQ(HVReadFile(data.pathFor("Trash/files/x.txt")), "bytes");
    EXPECT_NE(HVReadFile(data.pathFor("Trash/info/x.txt.trashinfo"))
                  .find("\nPath=" + m_folder.pathFor("x.txt") + "\n"),
              std::string::npos);
    EXPECT_FALSE(exists("x.txt"));
}

TEST_F(HVLocalFileRepresentationTest, TransferRecordsLeaveOutFilteredNamesAndRenameOnlyTheRecord) {
    m_folder.write("index.html", std::string(1023, 'x'));
    m_folder.write(".DS_Store", "");
    ::mkdir(m_folder.pathFor("css").c_str(), 0750);
    const auto files = HVLocalFile::filesForPath(m_folder.path());
    Lines rows;
    for (const auto& file : files)
        rows.push_back(file->name() + " " + file->modeString() + file->sizeString());
    EXPECT_EQ(rows, (Lines{"css drwxr-x--- --", "index.html -rw-r--r-- 1023 B"}));
    EXPECT_EQ(HVLocalFile::initWithPath(m_folder.pathFor("missing")), nullptr);

    int announced = 0;
    HVScopedObserver observer(HVNotificationCenter::defaultCenter(),
                              HVNotificationCenter::defaultCenter().addObserver(
                                  HVLocalFile::NameDidChangeNotification, files[1].get(),
                                  [&](const HVNotification&) { ++announced; }));
    files[1]->rename("home.html");
    EXPECT_EQ(files[1]->name(), "home.html");
    EXPECT_EQ(announced, 1);
    EXPECT_TRUE(exists("index.html"));
}
