#include "HVDispatcher.h"
#include "HVFileRepresentation.h"
#include "HVFileSystem.h"
#include "HVLocalFile.h"
#include "HVLocalFileRepresentation.h"
#include "HVNotificationCenter.h"
#include "HVRemoteFile.h"
#include "HVRemoteFileRepresentation.h"
#include "HVRemoteFilesQueue.h"
#include "HVRemoteLogController.h"
#include "HVTestServers.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// The local representation works on real folders; its reports are kept as text lines.

namespace {

using Lines = std::vector<std::string>;

std::string contextText(const HVFileRepresentation::Context& context) {
    return context ? *std::static_pointer_cast<std::string>(context) : "none";
}

// The children by name, "/" marking a folder and "@" a link.
std::string namesOf(const HVFileRepresentationDelegate::Representations& children) {
    std::vector<std::string> names;
    for (const auto& child : children)
        names.push_back(child->name() + (child->fileType() == HVFileRepresentation::Directory ? "/"
                                         : child->fileType() == HVFileRepresentation::SymbolicLink
                                             ? "@"
                                             : ""));
    std::sort(names.begin(), names.end());
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

// Every report of a representation as a line, errors as "error <errno> <file name>"; as the
// tree's node it answers paths from its fields and notes reports off the main thread.
class Recorder : public HVFileRepresentationDelegate {
public:
    std::string pathForFileRepresentation(const HVFileRepresentation&) override {
        return localPath;
    }
    std::string pathForRemoteFileRepresentation(const HVFileRepresentation&) override {
        return downloadPath;
    }
    std::string pathFromRootForFileRepresentation(const HVFileRepresentation& file) override {
        return remotePaths.count(file.name()) ? remotePaths[file.name()] : "";
    }
    int typeForFileRepresentation(const HVFileRepresentation&) override { return type; }

    void didLoadChildren(HVFileRepresentation&, const Representations& children) override {
        add("loaded " + namesOf(children));
        lastChildren = children;
    }
    void didReloadChildren(HVFileRepresentation&, const Representations& children) override {
        add("reloaded " + namesOf(children));
    }
    void didDelete(HVFileRepresentation&, bool ok) override { add("deleted " + flag(ok)); }
    void didMoveToTrash(HVFileRepresentation&, bool ok) override { add("trashed " + flag(ok)); }
    void didDuplicate(HVFileRepresentation&, std::shared_ptr<HVFileRepresentation> copy) override {
        add("duplicated " + (copy ? copy->name() : "none"));
    }
    void didMove(HVFileRepresentation& file, bool ok, const Context& context) override {
        add("moved " + flag(ok) + " " + contextText(context) + " " + file.name());
    }
    void didRename(HVFileRepresentation& file, bool ok, const Context& context) override {
        add("renamed " + flag(ok) + " " + contextText(context) + " " + file.name());
    }
    void contentBecameAvailable(HVFileRepresentation& file) override {
        add("available " + file.name());
    }
    void contentChangeFinished(HVFileRepresentation& file) override {
        add("changed " + file.name());
    }
    void contentTransferFailed(HVFileRepresentation& file, const HVError& error) override {
        add("failed " + file.name() + " " + error.description());
    }
    void hadError(HVFileRepresentation&, const HVError& error) override {
        const HVPlistValue* path = error.userInfoValue(HVFilePathErrorKey);
        add("error " + std::to_string(error.code()) + " " +
            (path && path->string() ? HVFileSystem::lastPathComponent(*path->string()) : "?"));
    }

    static std::string flag(bool ok) { return ok ? "1" : "0"; }
    void add(std::string event) {
        offMainThread += !HVDispatcher::main().isMainThread();
        events.push_back(std::move(event));
    }

    std::string localPath;
    std::string downloadPath;
    std::map<std::string, std::string> remotePaths;
    int type = -1;
    Lines events;
    Representations lastChildren;
    int offMainThread = 0;
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
    std::shared_ptr<Recorder> m_recorder = std::make_shared<Recorder>();
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
    if (::geteuid() == 0) {
        for (const auto& path : HVFileSystem::listRecursively(m_folder.path()))
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(m_folder.pathFor("site/locked").c_str(), 0555), 0);

    const Lines report = HVReportOfChild(
        [&] {
            auto recorder = std::make_shared<Recorder>();
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

TEST(HVRemoteFileRepresentationEntry, TakesTheListingsFieldsAndOnlyInternationalDates) {
    HVRemoteFile entry;
    entry.name = "index.html";
    entry.user = "www";
    entry.group = "staff";
    entry.size = 1536;
    entry.setModeString("-rw-r--r--");
    const std::pair<const char*, std::optional<std::int64_t>> dates[] = {
        {"2026-12-07 06:24:10 +0000", 1796624650}, {"2026-12-07 07:24:10 +0100", 1796624650},
        {"2026-12-07 05:54:10 -0030", 1796624650}, {"Dec  7 06:24", std::nullopt},
        {"2026-12-07 06:24:10", std::nullopt},     {"2026/12/07 06:24:10 +0000", std::nullopt},
    };
    for (const auto& [date, expected] : dates) {
        entry.dateString = date;
        EXPECT_EQ(
            HVRemoteFileRepresentation::initWithRemoteFile(entry, nullptr)->modificationDate(),
            expected)
            << date;
    }
    const auto file = HVRemoteFileRepresentation::initWithRemoteFile(entry, nullptr);
    EXPECT_EQ(file->name() + " " + file->owner().value_or("?") + " " + file->group().value_or("?") +
                  " " + file->sizeString(),
              "index.html www staff 2 KB");
    EXPECT_EQ(file->mode(), 0100644);
    EXPECT_FALSE(file->isLocal());
}

namespace {

// One FTP queue per test against the real server, in a folder of the test's own.
class HVRemoteFileRepresentationTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_servers = HVTestServers::shared();
        ASSERT_TRUE(m_servers);
        m_root = m_servers->ftpRoot + "/reps-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(m_root);
        ASSERT_EQ(::mkdir(m_root.c_str(), 0755), 0);
        giveToServer(m_root);
        m_queue = std::make_shared<HVRemoteFilesQueue>(HVRemoteProtocol::FTP,
                                                       HVRemoteFilesQueue::DelegatePointer{});
        m_queue->setStallTimeout(20);
        m_queue->setClientEnvironment({"LANG=C.UTF-8"});
        HVRemoteServer server;
        server.host = "127.0.0.1";
        server.port = m_servers->ftpPort;
        std::tie(server.user, server.password) = std::tie(m_servers->user, m_servers->password);
        m_queue->connect(server);
    }
    void TearDown() override {
        m_queue.reset();
        if (m_servers)
            std::filesystem::remove_all(m_root);
    }

    // Gives a path in the server's folder to the user the server writes as.
    void giveToServer(const std::string& path) {
        struct stat info {};
        ASSERT_EQ(::stat(m_servers->ftpRoot.c_str(), &info), 0);
        ASSERT_EQ(::lchown(path.c_str(), info.st_uid, info.st_gid), 0);
    }
    void serverFile(const std::string& name, const std::string& bytes) {
        std::ofstream(m_root + "/" + name, std::ios::binary) << bytes;
        giveToServer(m_root + "/" + name);
    }
    void serverFolder(const std::string& name) {
        ASSERT_EQ(::mkdir((m_root + "/" + name).c_str(), 0755), 0);
        giveToServer(m_root + "/" + name);
    }
    // Pumps the main thread until the recorder has that many reports and the queue is idle.
    bool reported(const Recorder& recorder, std::size_t count) {
        const bool arrived =
            HVDispatcher::main().runUntil([&] { return recorder.events.size() >= count; }, 20);
        HVDispatcher::main().runFor(0.05);
        return arrived && recorder.events.size() == count;
    }
    std::string transcript() const { return m_queue->logController()->transcript(); }

    const HVTestServerInfo* m_servers = nullptr;
    std::string m_root;
    std::shared_ptr<HVRemoteFilesQueue> m_queue;
    HVTemporaryDirectory m_local;
    std::shared_ptr<Recorder> m_recorder = std::make_shared<Recorder>();
};

} // namespace

TEST_F(HVRemoteFileRepresentationTest, ListsEveryTimeAndTellsFoldersFromLinks) {
    serverFile("a.html", "hello");
    serverFolder("css");
    ASSERT_EQ(::symlink("a.html", (m_root + "/link.html").c_str()), 0);
    giveToServer(m_root + "/link.html");

    const auto site = HVRemoteFileRepresentation::initWithName("site", 1, m_queue);
    m_recorder->remotePaths["site"] = m_root;
    site->setDelegate(m_recorder);
    EXPECT_TRUE(site->loadChildren());
    EXPECT_TRUE(site->loadChildren());
    EXPECT_TRUE(site->reloadChildren());
    ASSERT_TRUE(reported(*m_recorder, 3)) << transcript();
    const std::string names = "a.html css/ link.html@";
    EXPECT_EQ(m_recorder->events,
              (Lines{"loaded " + names, "loaded " + names, "reloaded " + names}));
    EXPECT_TRUE(site->loaded());
    for (const auto& child : m_recorder->lastChildren) {
        EXPECT_EQ(static_cast<HVRemoteFileRepresentation&>(*child).remoteQueue(), m_queue);
        if (child->name() == "a.html") {
            EXPECT_EQ(child->size(), 5u);
        }
    }
    EXPECT_EQ(m_recorder->offMainThread, 0);

    // A representation that goes away before its listing arrives hears nothing.
    auto gone = HVRemoteFileRepresentation::initWithName("site", 1, m_queue);
    const auto other = std::make_shared<Recorder>();
    other->remotePaths["site"] = m_root;
    gone->setDelegate(other);
    gone->loadChildren();
    gone.reset();
    ASSERT_TRUE(m_queue->waitUntilIdle(20));
    HVDispatcher::main().runFor(0.1);
    EXPECT_EQ(other->events, Lines{});
}

TEST_F(HVRemoteFileRepresentationTest, RenameAndMoveReportTheirOwnContextsAndFailuresToo) {
    serverFile("old.html", "x");
    serverFolder("sub");
    const auto file = HVRemoteFileRepresentation::initWithName("old.html", 0, m_queue);
    file->setDelegate(m_recorder);
    m_recorder->remotePaths["old.html"] = m_root + "/old.html";
    m_recorder->remotePaths["new.html"] = m_root + "/new.html";
    m_recorder->remotePaths["moved.html"] = m_root + "/sub/moved.html";

    file->rename("new.html", context("r1"));
    ASSERT_TRUE(reported(*m_recorder, 1)) << transcript();
    EXPECT_TRUE(file->moveToPath(m_root + "/sub/moved.html", context("m1")));
    ASSERT_TRUE(reported(*m_recorder, 2)) << transcript();
    file->moveToPath(m_root + "/missing/x.html", context("m2"));
    // Gone from the server behind our back.
    std::filesystem::rename(m_root + "/sub/moved.html", m_root + "/elsewhere.html");
    file->rename("again.html", context("r2"));
    ASSERT_TRUE(reported(*m_recorder, 4)) << transcript();

    EXPECT_EQ(m_recorder->events, (Lines{"renamed 1 r1 new.html", "moved 1 m1 moved.html",
                                         "moved 0 m2 moved.html", "renamed 0 r2 moved.html"}));
    EXPECT_EQ(HVReadFile(m_root + "/elsewhere.html"), "x");
    EXPECT_EQ(m_recorder->offMainThread, 0);
}

TEST_F(HVRemoteFileRepresentationTest, UploadsAndDownloadsAndNeverFailsSilently) {
    const auto file = HVRemoteFileRepresentation::initWithName("page.html", 0, m_queue);
    file->setDelegate(m_recorder);
    m_recorder->localPath = m_local.write("page.html", "<p>sent</p>");
    m_recorder->downloadPath = m_local.pathFor("private/id/page.html");
    m_recorder->remotePaths["page.html"] = m_root + "/page.html";
    file->upload();
    ASSERT_TRUE(reported(*m_recorder, 1)) << transcript();
    EXPECT_EQ(HVReadFile(m_root + "/page.html"), "<p>sent</p>");

    file->download();
    ASSERT_TRUE(reported(*m_recorder, 2)) << transcript();
    EXPECT_EQ(file->localPath(), m_recorder->downloadPath);
    EXPECT_EQ(HVReadFile(m_recorder->downloadPath), "<p>sent</p>");
    // A later upload sends the downloaded copy.
    std::ofstream(m_recorder->downloadPath) << "<p>edited</p>";
    file->upload();
    ASSERT_TRUE(reported(*m_recorder, 3)) << transcript();
    EXPECT_EQ(HVReadFile(m_root + "/page.html"), "<p>edited</p>");

    // The tree's type makes a folder of a representation that did not know it was one.
    const auto folder = HVRemoteFileRepresentation::initWithName("made", 0, m_queue);
    const auto folderRecorder = std::make_shared<Recorder>();
    folderRecorder->remotePaths["made"] = m_root + "/made";
    folderRecorder->type = HVFileRepresentation::Directory;
    folder->setDelegate(folderRecorder);
    folder->makeDirectory();
    ASSERT_TRUE(reported(*folderRecorder, 1)) << transcript();
    folder->remove();
    ASSERT_TRUE(reported(*folderRecorder, 2)) << transcript();
    folder->remove();
    ASSERT_TRUE(reported(*folderRecorder, 3)) << transcript();
    EXPECT_EQ(folderRecorder->events, (Lines{"changed made", "deleted 1", "deleted 0"}));

    m_recorder->remotePaths["page.html"] = m_root + "/missing/page.html";
    file->upload();
    file->download();
    ASSERT_TRUE(reported(*m_recorder, 5)) << transcript();
    EXPECT_EQ(m_recorder->events,
              (Lines{"changed page.html", "available page.html", "changed page.html",
                     "failed page.html Could Not Upload File",
                     "failed page.html Could Not Download File"}));
    EXPECT_EQ(m_recorder->offMainThread, 0);
}
