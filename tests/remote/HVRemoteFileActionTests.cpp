#include "HVCommandAction.h"
#include "HVConnectAction.h"
#include "HVDeleteDirectoryAction.h"
#include "HVFileCommandAction.h"
#include "HVFileListingAction.h"
#include "HVGetDirectoryAction.h"
#include "HVGetFileAction.h"
#include "HVPutDirectoryAction.h"
#include "HVPutFileAction.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace {

using Lines = std::vector<std::string>;

class Recorder : public HVRemoteFileActionDelegate {
public:
    void actionFinished(HVRemoteFileAction&, bool success, int statusCode) override {
        ++reports;
        this->success = success;
        code = statusCode;
    }
    int reports = 0;
    bool success = false;
    int code = -1;
};

// Runs an action against a connection that is never launched: what the action types is
// collected, and the tests answer as the client would.
class Harness {
public:
    explicit Harness(HVRemoteProtocol protocol)
        : connection(std::make_shared<HVRemoteFilesConnection>(protocol)) {}

    void run(const std::shared_ptr<HVRemoteFileAction>& action) {
        m_action = action;
        action->setCommandSinkForTesting([this](std::string_view line) {
            typed.emplace_back(line);
            return true;
        });
        action->run(recorder);
    }
    // Makes an action on this connection and runs it.
    template <typename Action, typename... Arguments>
    std::shared_ptr<Action> start(Arguments&&... arguments) {
        auto action = std::make_shared<Action>(connection, std::forward<Arguments>(arguments)...);
        run(action);
        return action;
    }
    // The client's output up to its prompt.
    void reply(Lines lines) { m_action->activeAction().finishedCommand(*connection, lines); }
    // The client's output ending in an input request.
    void ask(Lines lines) {
        HVRemoteFileAction& active = m_action->activeAction();
        EXPECT_TRUE(active.willNeedInput(*connection));
        active.finishedCommand(*connection, lines);
    }
    // The last quoted argument of the last typed line, unquoted (no escapes in our tests).
    std::string lastArgument() const {
        const std::string& line = typed.back();
        std::size_t end = line.rfind('"');
        std::size_t start = line.rfind('"', end - 1);
        return line.substr(start + 1, end - start - 1);
    }

    std::shared_ptr<HVRemoteFilesConnection> connection;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    Lines typed;

private:
    std::shared_ptr<HVRemoteFileAction> m_action;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

TEST(HVRemoteFileAction, FindsTheStatusCodeOfAReply) {
    struct Case {
        Lines lines;
        bool reversed;
        int expected;
    };
    const Case cases[] = {
        // Transfer counts look like codes; the final 226 wins either way.
        {{"150 Opening BINARY mode data connection.", "100 bytes sent", "226 Transfer complete.",
          "16 bytes received in 00:00 (0.1 KiB/s)"},
         true,
         226},
        {{"150 Opening BINARY mode data connection.", "100 bytes sent", "226 Transfer complete."},
         false,
         226},
        // Backwards, a continued reply answers with its first continued line.
        {{"220-Welcome", "220 Ready", "331 Please specify the password."}, true, 220},
        {{"220-Welcome", "220 Ready", "331 Please specify the password."}, false, 220},
        {{"200 PORT command successful.", "550 Failed to open file."}, false, 200},
        {{"200 PORT command successful.", "550 Failed to open file."}, true, 550},
        {{"5501 too many digits", "550a glued", "x 550 later", "650 out of range"}, true, 0},
        {{"404 Not Found"}, true, 404},
        {{}, true, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HVRemoteFileAction::statusCode(c.lines, c.reversed), c.expected)
            << c.lines.size() << " lines, reversed " << c.reversed;
    EXPECT_FALSE(HVRemoteFileAction::statusCodeIsError(399));
    EXPECT_TRUE(HVRemoteFileAction::statusCodeIsError(400));
}

TEST(HVRemoteFileAction, ReadsSFTPFailuresButNotNamesInItsEcho) {
    struct Case {
        Lines lines;
        std::string typed;
        bool expected;
    };
    const Case cases[] = {
        {{"rm \"/x\"", "Couldn't delete file: No such file or directory"}, "rm \"/x\"", true},
        {{"File \"/x\" not found."}, "", true},
        {{"remote delete /x: No such file or directory"}, "", true},
        {{"remote mkdir \"/x\": Permission denied"}, "", true},
        {{"remote mkdir \"/srv/d\": Failure"}, "", true},
        {{"Can't ls: \"/x\" not found"}, "", true},
        {{"dest open \"/etc/x\": Permission denied"}, "", true},
        {{"stat x: No such file or directory"}, "", true},
        {{"remote rename \"/a\": Failure"}, "", true},
        {{"remote readdir(\"/x\"): Permission denied"}, "", true},
        // Names are data: the echo, progress and "Removing" lines repeat them on success.
        {{"rm \"/x: Failure\""}, "rm \"/x: Failure\"", false},
        {{"rm \"/not found\"", "Removing /not found"}, "rm \"/not found\"", false},
        {{"rm \"/a: Permission denied\""}, "", false},
        {{"get \"/Couldn't\" \"/tmp/l\"", "Fetching /Couldn't to /tmp/l",
          "Couldn't                         100%   16     2.1KB/s   00:00"},
         "get \"/Couldn't\" \"/tmp/l\"",
         false},
        {{"mkdir \"/ok\""}, "mkdir \"/ok\"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HVRemoteFileAction::linesIndicateError(c.lines, c.typed), c.expected)
            << c.lines.back();
}

TEST(HVRemoteFileAction, QuotesPathsForEachClientOrRefusesThem) {
    using P = HVRemoteProtocol;
    using A = HVRemoteArgument;
    struct Case {
        P protocol;
        std::string path;
        A use;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {P::FTP, "-l", A::RemotePath, "\"./-l\""},
        {P::FTP, "rel", A::LocalPath, std::nullopt},
        {P::SFTP, "/m{a,b}", A::GlobbedRemotePath, "\"/m\\{a,b\\}\""},
        {P::SFTP, "-dash", A::GlobbedRemotePath, "\"./-dash\""},
        {P::WebDAV, "/x*y", A::RemotePath, std::nullopt},
        {P::WebDAV, "/x[1]", A::LocalPath, std::nullopt},
        {P::WebDAV, "/%23#{}~", A::RemotePath, "\"/%23#{}~\""},
        {P::FTP, "/a\nrm x", A::RemotePath, std::nullopt},
        {P::SFTP, "/a\rb", A::RemotePath, std::nullopt},
        {P::WebDAV, std::string("/a\0b", 4), A::RemotePath, std::nullopt},
        {P::FTP, "/tab\there", A::RemotePath, std::nullopt},
        {P::FTP, "/del\x7f", A::RemotePath, std::nullopt},
        {P::FTP, "/csi\xc2\x9b", A::RemotePath, std::nullopt},
        {P::SFTP, "/bad\xff", A::RemotePath, std::nullopt},
        {P::SFTP, "", A::RemotePath, std::nullopt},
    };
    for (const Case& c : cases) {
        std::string reason;
        auto quoted = HVRemoteCommandQuoting::quote(c.protocol, c.path, c.use, &reason);
        EXPECT_EQ(quoted, c.expected) << c.path;
        EXPECT_EQ(reason.empty(), quoted.has_value()) << c.path << ": " << reason;
    }
    std::string reason;
    EXPECT_FALSE(HVRemoteCommandQuoting::commandLine("get", {std::string(4092, 'x')}, &reason));
    EXPECT_NE(reason.find("4095"), std::string::npos) << reason;
    EXPECT_EQ(
        HVRemoteCommandQuoting::commandLine("get", {std::string(4091, 'x')}).value_or("").size(),
        4095u);
}

TEST(HVRemoteFileAction, RefusesWhatCannotBeTypedWithoutTypingAnything) {
    using P = HVRemoteProtocol;
    using Make = std::function<std::shared_ptr<HVRemoteFileAction>(
        std::shared_ptr<HVRemoteFilesConnection>)>;
    auto chmod = [](std::string mode) -> Make {
        return [mode](auto c) { return std::make_shared<HVChmodFileAction>(c, "/f", mode); };
    };
    struct Case {
        P protocol;
        Make make;
        std::string reasonPart;
    };
    const Case cases[] = {
        {P::SFTP, chmod("rwx"), "octal"},
        {P::FTP, chmod("07555"), "octal"},
        {P::WebDAV, chmod("644"), "WebDAV"},
        {P::FTP, [](auto c) { return std::make_shared<HVDeleteFileAction>(c, "/x\nDELE y"); },
         "control character"},
        {P::SFTP,
         [](auto c) {
             return std::make_shared<HVMoveFileAction>(c, "/a", "/" + std::string(5000, 'b'));
         },
         "at most 4095"},
    };
    for (const Case& c : cases) {
        Harness harness(c.protocol);
        auto action = c.make(harness.connection);
        harness.run(action);
        EXPECT_TRUE(harness.typed.empty()) << c.reasonPart;
        EXPECT_EQ(harness.recorder->reports, 1);
        EXPECT_FALSE(harness.recorder->success);
        EXPECT_NE(action->reason().find(c.reasonPart), std::string::npos) << action->reason();
    }
}

// The end-to-end tests name every path in full.
TEST(HVRemoteFileAction, AnEmptyPathIsTypedAsTheCurrentFolder) {
    const std::pair<HVRemoteProtocol, std::string> listings[] = {
        {HVRemoteProtocol::FTP, "ls"}, {HVRemoteProtocol::SFTP, "ls -la \".\""}};
    for (const auto& [protocol, expected] : listings) {
        Harness harness(protocol);
        harness.start<HVFileListingAction>("");
        EXPECT_EQ(harness.typed, Lines{expected});
        EXPECT_EQ(harness.recorder->reports, 0);
    }
    Harness cd(HVRemoteProtocol::FTP);
    cd.start<HVChangeDirectoryAction>("");
    EXPECT_EQ(cd.typed, Lines{"cd \".\""});
}

TEST(HVRemoteFileAction, AnFTPListingNeedsItsFinal226) {
    struct Case {
        Lines reply;
        bool success;
        int code;
        std::size_t files;
    };
    const Case cases[] = {
        {{"150 Here comes the directory listing.", "-rw-r--r-- 1 u g 16 Dec 05 15:24 up.txt",
          "226 Directory send OK."},
         true,
         226,
         1},
        {{"150 Here comes the directory listing.", "-rw-r--r-- 1 u g 16 Dec 05 15:24 up.txt",
          "250 Done."},
         false,
         250,
         0},
        {{"550 Failed to change directory."}, false, 550, 0},
        {{"ftp: Not connected."}, false, 0, 0},
    };
    for (const Case& c : cases) {
        Harness harness(HVRemoteProtocol::FTP);
        auto action = harness.start<HVFileListingAction>("/srv");
        harness.reply(c.reply);
        EXPECT_EQ(harness.recorder->success, c.success) << c.reply.back();
        EXPECT_EQ(harness.recorder->code, c.code) << c.reply.back();
        EXPECT_EQ(action->files().size(), c.files) << c.reply.back();
    }
}

TEST(HVRemoteFileAction, AnSFTPListingIsNotFailedByANameThatReadsLikeAnError) {
    Harness harness(HVRemoteProtocol::SFTP);
    auto action = harness.start<HVFileListingAction>("/srv");
    harness.reply({"ls -la \"/srv\"", "-rw-r--r--    1 u g 0 Dec  5 15:24 x: Permission denied",
                   "-rw-r--r--    1 u g 0 Dec  5 15:24 Couldn't find it"});
    EXPECT_TRUE(harness.recorder->success) << action->reason();
    ASSERT_EQ(action->files().size(), 2u);
    EXPECT_EQ(action->files()[0].path, "/srv/x: Permission denied");

    Harness failing(HVRemoteProtocol::SFTP);
    auto missing = failing.start<HVFileListingAction>("/nope");
    failing.reply({"ls -la \"/nope\"", "Can't ls: \"/nope\" not found"});
    EXPECT_FALSE(failing.recorder->success);
    EXPECT_EQ(missing->reason(), "Can't ls: \"/nope\" not found");
}

TEST(HVRemoteFileAction, AnFTPUploadIsTypedOnlyAfterBinarySucceeded) {
    HVTemporaryDirectory folder;
    const std::string local = folder.write("page.html", "<p>");
    Harness refused(HVRemoteProtocol::FTP);
    refused.start<HVPutFileAction>(local, "/www/page.html");
    refused.reply({"ftp: Not connected.", "530 Please login with USER and PASS."});
    EXPECT_EQ(refused.typed, Lines{"binary"});
    EXPECT_FALSE(refused.recorder->success);
    EXPECT_EQ(refused.recorder->code, 530);

    // tnftp prints no code when it cannot read the local file.
    Harness unreadable(HVRemoteProtocol::FTP);
    auto action = unreadable.start<HVPutFileAction>(local, "/www/page.html");
    unreadable.reply({"200 Switching to Binary mode."});
    EXPECT_EQ(unreadable.typed, (Lines{"binary", "put \"" + local + "\" \"/www/page.html\""}));
    unreadable.reply({"local: " + local + ": Permission denied"});
    EXPECT_FALSE(unreadable.recorder->success);
    EXPECT_EQ(action->reason(), "local: " + local + ": Permission denied");
}

// cadaver prints no code when it cannot read the local file.
TEST(HVRemoteFileAction, AWebDAVUploadOfAnUnreadableFileFails) {
    HVTemporaryDirectory folder;
    const std::string local = folder.write("upl.txt", "hi\n");
    Harness harness(HVRemoteProtocol::WebDAV);
    harness.start<HVPutFileAction>(local, "/base/ok.txt");
    EXPECT_EQ(harness.typed, Lines{"put \"" + local + "\" \"/base/ok.txt\""});
    harness.reply({"Uploading " + local +
                   " to `/base/ok.txt': Could not open file: No such file or directory"});
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_EQ(harness.recorder->code, 0);
}

TEST(HVRemoteFileAction, ADownloadOfTheWrongSizeNeverReplacesTheLocalFile) {
    HVTemporaryDirectory folder;
    const std::string local = folder.write("index.html", "old");
    for (const std::string written : {"new", "newer"}) {
        const bool whole = written.size() == 5;
        Harness harness(HVRemoteProtocol::SFTP);
        auto action = std::make_shared<HVGetFileAction>(harness.connection, "/i", local);
        action->setExpectedSize(5);
        harness.run(action);
        ASSERT_EQ(harness.typed.size(), 1u);
        const std::string partial = harness.lastArgument();
        EXPECT_NE(partial.find("/.halvet-partial-"), std::string::npos) << partial;
        std::ofstream(partial) << written;
        const std::string before = readFile(local);
        harness.reply({"Fetching /i to x"});
        EXPECT_EQ(harness.recorder->success, whole) << written;
        EXPECT_EQ(readFile(local), whole ? written : before) << written;
        EXPECT_FALSE(exists(partial)) << partial;
        EXPECT_FALSE(exists(partial.substr(0, partial.rfind('/'))));
    }
}

TEST(HVRemoteFileAction, UploadingADirectoryStopsWhereTheFolderMayNotBeThere) {
    HVTemporaryDirectory folder;
    folder.write("site/a.html", "a");
    const std::string site = folder.pathFor("site");
    struct Case {
        HVRemoteProtocol protocol;
        Lines mkdirReply;
        // sftp's "Failure" is ambiguous: the folder is listed, and this is the answer.
        std::optional<Lines> listingReply;
    };
    const Case cases[] = {
        {HVRemoteProtocol::WebDAV, {"Creating `www': failed:", "403 Forbidden"}, {}},
        {HVRemoteProtocol::SFTP,
         {"remote mkdir \"/www\": Failure"},
         Lines{"Can't ls: \"/www\" not found"}},
        {HVRemoteProtocol::SFTP, {"remote mkdir \"/www\": Permission denied"}, {}},
    };
    for (const Case& c : cases) {
        Harness harness(c.protocol);
        auto action = harness.start<HVPutDirectoryAction>(site, "/www");
        EXPECT_EQ(harness.typed.back(), "mkdir \"/www\"");
        harness.reply(c.mkdirReply);
        if (c.listingReply) {
            EXPECT_EQ(harness.recorder->reports, 0);
            EXPECT_EQ(harness.typed.back().substr(0, 3), "ls ");
            harness.reply(*c.listingReply);
        }
        EXPECT_EQ(harness.recorder->reports, 1) << c.mkdirReply.back();
        EXPECT_EQ(action->reason(), c.mkdirReply.back());
    }
}

TEST(HVRemoteFileAction, UploadingADirectorySkipsLinksLeadingOutOfItAndSaysSo) {
    HVTemporaryDirectory folder;
    folder.write("site/a.html", "a");
    folder.write("secret", "s");
    std::string site = folder.pathFor("site");
    ASSERT_EQ(::symlink(folder.pathFor("secret").c_str(), (site + "/leak").c_str()), 0);
    ASSERT_EQ(::symlink((site + "/a.html").c_str(), (site + "/same").c_str()), 0);
    Harness harness(HVRemoteProtocol::SFTP);
    auto action = harness.start<HVPutDirectoryAction>(site, "/www");
    harness.reply({"mkdir \"/www\""});
    harness.reply({"Uploading a.html to /www/a.html"});
    harness.reply({"Uploading same to /www/same"});
    EXPECT_EQ(harness.typed, (Lines{"mkdir \"/www\"", "put \"" + site + "/a.html\" \"/www/a.html\"",
                                    "put \"" + site + "/same\" \"/www/same\""}));
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_NE(action->reason().find("leak"), std::string::npos) << action->reason();
}

TEST(HVRemoteFileAction, DownloadingADirectoryReportsAFailedEntry) {
    HVTemporaryDirectory folder;
    const std::string target = folder.pathFor("copy");
    Harness harness(HVRemoteProtocol::WebDAV);
    auto action = harness.start<HVGetDirectoryAction>("/dav", target);
    harness.reply({"Listing collection `/dav/': succeeded.", "        a.txt     1  Dec  5 15:25",
                   "        b.txt     1  Dec  5 15:25"});
    ASSERT_EQ(harness.typed.size(), 2u);
    EXPECT_EQ(harness.typed[1].substr(0, 15), "get \"/dav/a.txt");
    std::ofstream(harness.lastArgument()) << "a";
    harness.reply({"Downloading `/dav/a.txt' to x: succeeded."});
    harness.reply({"Downloading `/dav/b.txt' to x:", "failed:", "403 Forbidden"});
    EXPECT_EQ(readFile(target + "/a.txt"), "a");
    EXPECT_FALSE(exists(target + "/b.txt"));
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_EQ(harness.recorder->code, 403);
    EXPECT_NE(action->reason().find("403 Forbidden"), std::string::npos) << action->reason();
}

// The defaults no test server uses (standard ports, no user, https and a path), and the
// settings typed after an FTP login, whose effects no end-to-end test looks at.
TEST(HVRemoteFileAction, ConnectsWithTheDefaultsAndSettingsNoTestServerShows) {
    Harness ftp(HVRemoteProtocol::FTP);
    auto action = HVConnectAction::make(ftp.connection, "h", 0, "we\"b", "p", {"-A"});
    ASSERT_NE(dynamic_cast<HVFTPConnectAction*>(action.get()), nullptr);
    EXPECT_TRUE(action->failureIsFatal());
    ftp.run(action);
    EXPECT_EQ(action->launchArguments(), (Lines{"-n", "-e", "-g", "-v", "-A"}));
    ftp.reply({});
    ftp.reply({"220 ready"});
    ftp.ask({"331 Please specify the password.", "Password:"});
    ftp.reply({"230 Login successful.", "Remote system type is UNIX."});
    for (int i = 0; i < 4; ++i)
        ftp.reply({"Done."});
    EXPECT_EQ(ftp.typed, (Lines{"open h 21", "user \"we\"\\\"\"b\"", "p", "passive off",
                                "epsv4 off", "preserve on", "progress off"}));
    EXPECT_EQ(action->state(), 5);
    EXPECT_TRUE(ftp.recorder->success);
    auto again = action->clone();
    EXPECT_EQ(again->state(), 0);
    EXPECT_EQ(again->host(), "h");

    Harness sftp(HVRemoteProtocol::SFTP);
    auto login = HVConnectAction::make(sftp.connection, "example.org", 0, "", "pw", {});
    sftp.run(login);
    EXPECT_EQ(login->launchArguments(), (Lines{"-oPort=22", "example.org"}));

    Harness dav(HVRemoteProtocol::WebDAV);
    auto open = HVConnectAction::make(dav.connection, "dav.example.com", 8443, "u", "p", {});
    open->setWebDAVScheme("https");
    open->setWebDAVPath("/my files");
    dav.run(open);
    dav.reply({});
    EXPECT_EQ(dav.typed, Lines{"open https://dav.example.com:8443/my%20files/"});
}

TEST(HVRemoteFileAction, AWebDAVLoginStopsBeforeAThirdAskAndAtAServerWithoutWebDAV) {
    Harness harness(HVRemoteProtocol::WebDAV);
    auto action = HVConnectAction::make(harness.connection, "dav.example.com", 0, "u", "p", {});
    harness.run(action);
    harness.reply({});
    const Lines question = {"Authentication required for x on server `dav.example.com':",
                            "Username: "};
    for (int i = 0; i < 2; ++i) {
        harness.ask(question);
        harness.ask({"Password: "});
    }
    EXPECT_EQ(harness.recorder->reports, 0);
    // Asking a third time would loop for ever; cadaver itself gives up after two.
    harness.ask(question);
    EXPECT_EQ(harness.typed, (Lines{"open http://dav.example.com/", "u", "p", "u", "p"}));
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_EQ(action->state(), 3);

    Harness plain(HVRemoteProtocol::WebDAV);
    auto open = HVConnectAction::make(plain.connection, "dav.example.com", 0, "u", "p", {});
    plain.run(open);
    plain.reply({});
    plain.reply({"Could not access / (not WebDAV-enabled?):", "405 Method Not Allowed"});
    EXPECT_FALSE(plain.recorder->success);
    EXPECT_EQ(plain.recorder->code, 405);
}

TEST(HVRemoteFileAction, DescribesEachFailureWithTheServersOwnWords) {
    Harness harness(HVRemoteProtocol::FTP);
    auto action = harness.start<HVChmodFileAction>("/www/a.php", "755");
    harness.reply({"550 SITE CHMOD command failed."});
    HVError error = action->error(550);
    EXPECT_EQ(error.domain(), "com.ternwick.halvet.error");
    EXPECT_EQ(error.code(), 1);
    EXPECT_EQ(error.description(), "Could Not Change Permissions");
    EXPECT_EQ(error.recoverySuggestion(),
              "The permissions of file \"a.php\" could not be changed to \"755\". It may not "
              "exist or you may not have permission to change the permissions.");
    EXPECT_EQ(error.userInfoValue("HVRemoteReason")->stringValue().value_or(""),
              "550 SITE CHMOD command failed.");
    EXPECT_EQ(error.userInfoValue("HVFilePath")->stringValue().value_or(""), "/www/a.php");

    struct Case {
        std::shared_ptr<HVRemoteFileAction> action;
        std::string description;
        std::string suggestion;
    };
    auto c = harness.connection;
    const Case cases[] = {
        {std::make_shared<HVCommandAction>(c, "pwd", true), "Remote Connection Error",
         "Halvet received error code 550. Please try your operation again."},
        {std::make_shared<HVMoveFileAction>(c, "/a/b.txt", "/c"), "Could Not Rename File",
         "The file \"b.txt\" could not be renamed. It may not exist or you may not have "
         "permission to rename the file"},
        {std::make_shared<HVPutFileAction>(c, "/l", "/r/up.txt"), "Could Not Upload File",
         "The file \"up.txt\" could not be uploaded. Please be sure you have write access for "
         "the remote server."},
        {std::make_shared<HVFileListingAction>(c, "/srv/"), "Could Not Retrieve File Listing",
         "Halvet could not retrieve the file listing for directory \"srv\". The directory may "
         "not exist, you may not have permission to access it, or Halvet failed to parse the "
         "listing."},
        {std::make_shared<HVDeleteDirectoryAction>(c, "/old"), "Could Not Delete Directory",
         "The directory \"old\" could not be deleted. It may not exist or you may not have "
         "permission to delete the directory."},
        {HVConnectAction::make(c, "h", 2121, "u", "p", {}), "Could Not Connect",
         "Halvet could not connect to remote host \"h\". The host may not exist or may be "
         "unreachable."},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(k.action->error(550).description(), k.description);
        EXPECT_EQ(k.action->error(550).recoverySuggestion(), k.suggestion);
    }
    EXPECT_EQ(std::make_shared<HVCommandAction>(c, "pwd", true)->error(0).recoverySuggestion(),
              "Halvet experienced an unknown error. Please try your operation again");
}
