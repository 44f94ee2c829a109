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
        {P::FTP, "/a b", A::RemotePath, "\"/a b\""},
        {P::FTP, "/q\"q", A::RemotePath, "\"/q\"\\\"\"q\""},
        {P::FTP, "/b\\s", A::RemotePath, "\"/b\\s\""},
        {P::FTP, "/s'q*?[x]{y}~#", A::RemotePath, "\"/s'q*?[x]{y}~#\""},
        {P::FTP, "-l", A::RemotePath, "\"./-l\""},
        {P::FTP, "rel", A::LocalPath, std::nullopt},
        {P::SFTP, "/q\"q\\b", A::RemotePath, "\"/q\\\"q\\\\b\""},
        {P::SFTP, "/x*y?[z]", A::GlobbedRemotePath, "\"/x*y?[z]\""},
        {P::SFTP, "/m{a,b}", A::GlobbedRemotePath, "\"/m\\{a,b\\}\""},
        {P::SFTP, "/m{a,b}", A::RemotePath, "\"/m{a,b}\""},
        {P::SFTP, "/l{x}", A::GlobbedLocalPath, "\"/l\\{x\\}\""},
        {P::SFTP, "-dash", A::GlobbedRemotePath, "\"./-dash\""},
        {P::SFTP, "#hash ~t", A::RemotePath, "\"#hash ~t\""},
        {P::WebDAV, "/a \"b\" \\c", A::RemotePath, "\"/a \\\"b\\\" \\\\c\""},
        {P::WebDAV, "/x*y", A::RemotePath, std::nullopt},
        {P::WebDAV, "/x?y", A::RemotePath, std::nullopt},
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
        {P::SFTP, "/caf\xc3\xa9", A::RemotePath, "\"/caf\xc3\xa9\""},
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

TEST(HVRemoteFileAction, TypesEachCommandAsItsClientNeeds) {
    using P = HVRemoteProtocol;
    using Make = std::function<std::shared_ptr<HVRemoteFileAction>(
        std::shared_ptr<HVRemoteFilesConnection>)>;
    struct Case {
        P protocol;
        Make make;
        std::string expected;
    };
    auto listing = [](std::string path) {
        return [path](auto c) { return std::make_shared<HVFileListingAction>(c, path); };
    };
    auto cd = [](auto c) { return std::make_shared<HVChangeDirectoryAction>(c, ""); };
    auto mkdir = [](auto c) { return std::make_shared<HVMakeDirectoryFileAction>(c, "/d e"); };
    auto del = [](auto c) { return std::make_shared<HVDeleteFileAction>(c, "/f{1}"); };
    auto move = [](auto c) { return std::make_shared<HVMoveFileAction>(c, "/a", "/b c"); };
    auto chmod = [](auto c) { return std::make_shared<HVChmodFileAction>(c, "/f", "0644"); };
    auto command = [](auto c) { return std::make_shared<HVCommandAction>(c, "pwd", false); };
    const Case cases[] = {
        {P::FTP, listing("/srv"), "ls \"/srv\""},    {P::FTP, listing(""), "ls"},
        {P::SFTP, listing(""), "ls -la \".\""},      {P::SFTP, listing("/srv"), "ls -la \"/srv\""},
        {P::WebDAV, listing("/dav"), "ls \"/dav\""}, {P::FTP, cd, "cd \".\""},
        {P::WebDAV, mkdir, "mkdir \"/d e\""},        {P::FTP, del, "delete \"/f{1}\""},
        {P::SFTP, del, "rm \"/f\\{1\\}\""},          {P::WebDAV, del, "delete \"/f{1}\""},
        {P::FTP, move, "rename \"/a\" \"/b c\""},    {P::SFTP, move, "rename \"/a\" \"/b c\""},
        {P::WebDAV, move, "move \"/a\" \"/b c\""},   {P::FTP, chmod, "chmod 0644 \"/f\""},
        {P::SFTP, chmod, "chmod 0644 \"/f\""},       {P::SFTP, command, "pwd"},
    };
    for (const Case& c : cases) {
        Harness harness(c.protocol);
        auto action = c.make(harness.connection);
        harness.run(action);
        ASSERT_EQ(harness.typed.size(), 1u) << c.expected;
        EXPECT_EQ(harness.typed[0], c.expected);
        EXPECT_EQ(harness.recorder->reports, 0) << c.expected;
    }
}

TEST(HVRemoteFileAction, RefusesWhatCannotBeTypedWithoutTypingAnything) {
    using P = HVRemoteProtocol;
    struct Case {
        P protocol;
        std::shared_ptr<HVRemoteFileAction> (*make)(std::shared_ptr<HVRemoteFilesConnection>);
        std::string reasonPart;
    };
    const Case cases[] = {
        {P::SFTP,
         [](auto c) -> std::shared_ptr<HVRemoteFileAction> {
             return std::make_shared<HVChmodFileAction>(c, "/f", "rwx");
         },
         "octal"},
        {P::FTP,
         [](auto c) -> std::shared_ptr<HVRemoteFileAction> {
             return std::make_shared<HVChmodFileAction>(c, "/f", "07555");
         },
         "octal"},
        {P::WebDAV,
         [](auto c) -> std::shared_ptr<HVRemoteFileAction> {
             return std::make_shared<HVChmodFileAction>(c, "/f", "644");
         },
         "WebDAV"},
        {P::FTP,
         [](auto c) -> std::shared_ptr<HVRemoteFileAction> {
             return std::make_shared<HVDeleteFileAction>(c, "/x\nDELE y");
         },
         "control character"},
        {P::WebDAV,
         [](auto c) -> std::shared_ptr<HVRemoteFileAction> {
             return std::make_shared<HVDeleteFileAction>(c, "/*");
         },
         "wildcard"},
        {P::SFTP,
         [](auto c) -> std::shared_ptr<HVRemoteFileAction> {
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

TEST(HVRemoteFileAction, JudgesFileCommandsPerProtocolAndReportsOnce) {
    struct Case {
        HVRemoteProtocol protocol;
        Lines reply;
        bool success;
        int code;
    };
    const Case cases[] = {
        {HVRemoteProtocol::FTP, {"250 Rename successful."}, true, 250},
        {HVRemoteProtocol::FTP, {"350 Ready for RNTO.", "550 Rename failed."}, false, 550},
        {HVRemoteProtocol::WebDAV,
         {"Moving `/a' to `/b c':  failed:", "403 Forbidden"},
         false,
         403},
        {HVRemoteProtocol::WebDAV, {"Moving `/a' to `/b c':  succeeded."}, true, 0},
        {HVRemoteProtocol::SFTP, {"rename \"/a\" \"/b c\""}, true, 0},
        {HVRemoteProtocol::SFTP,
         {"rename \"/a\" \"/b c\"", "remote rename \"/a\": Failure"},
         false,
         0},
    };
    for (const Case& c : cases) {
        Harness harness(c.protocol);
        auto action = std::make_shared<HVMoveFileAction>(harness.connection, "/a", "/b c");
        harness.run(action);
        harness.reply(c.reply);
        harness.reply({"500 a second reply is ignored"});
        EXPECT_EQ(harness.recorder->reports, 1) << c.reply.back();
        EXPECT_EQ(harness.recorder->success, c.success) << c.reply.back();
        EXPECT_EQ(harness.recorder->code, c.code) << c.reply.back();
        if (!c.success) {
            EXPECT_EQ(action->reason(), c.reply.back());
        }
    }
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
        auto action = std::make_shared<HVFileListingAction>(harness.connection, "/srv");
        harness.run(action);
        harness.reply(c.reply);
        EXPECT_EQ(harness.recorder->success, c.success) << c.reply.back();
        EXPECT_EQ(harness.recorder->code, c.code) << c.reply.back();
        EXPECT_EQ(action->files().size(), c.files) << c.reply.back();
    }
}

TEST(HVRemoteFileAction, AnSFTPListingIsNotFailedByANameThatReadsLikeAnError) {
    Harness harness(HVRemoteProtocol::SFTP);
    auto action = std::make_shared<HVFileListingAction>(harness.connection, "/srv");
    harness.run(action);
    harness.reply({"ls -la \"/srv\"", "-rw-r--r--    1 u g 0 Dec  5 15:24 x: Permission denied",
                   "-rw-r--r--    1 u g 0 Dec  5 15:24 Couldn't find it"});
    EXPECT_TRUE(harness.recorder->success) << action->reason();
    ASSERT_EQ(action->files().size(), 2u);
    EXPECT_EQ(action->files()[0].path, "/srv/x: Permission denied");

    Harness failing(HVRemoteProtocol::SFTP);
    auto missing = std::make_shared<HVFileListingAction>(failing.connection, "/nope");
    failing.run(missing);
    failing.reply({"ls -la \"/nope\"", "Can't ls: \"/nope\" not found"});
    EXPECT_FALSE(failing.recorder->success);
    EXPECT_EQ(missing->reason(), "Can't ls: \"/nope\" not found");
}

TEST(HVRemoteFileAction, FTPUploadsInBinaryAndOnlyAfterBinarySucceeded) {
    HVTemporaryDirectory folder;
    std::string local = folder.write("page.html", "<p>");
    {
        Harness harness(HVRemoteProtocol::FTP);
        auto action =
            std::make_shared<HVPutFileAction>(harness.connection, local, "/www/page.html");
        harness.run(action);
        EXPECT_EQ(harness.typed, Lines{"binary"});
        harness.reply({"200 Switching to Binary mode."});
        EXPECT_EQ(harness.typed, (Lines{"binary", "put \"" + local + "\" \"/www/page.html\""}));
        harness.reply({"local: " + local + " remote: /www/page.html", "150 Ok to send data.",
                       "226 Transfer complete.", "3 bytes sent in 00:00"});
        EXPECT_TRUE(harness.recorder->success);
        EXPECT_EQ(harness.recorder->code, 226);
    }
    {
        Harness harness(HVRemoteProtocol::FTP);
        auto action =
            std::make_shared<HVPutFileAction>(harness.connection, local, "/www/page.html");
        harness.run(action);
        harness.reply({"ftp: Not connected.", "530 Please login with USER and PASS."});
        EXPECT_EQ(harness.typed, Lines{"binary"});
        EXPECT_FALSE(harness.recorder->success);
        EXPECT_EQ(harness.recorder->code, 530);
    }
    {
        // tnftp prints no code when it cannot read the local file.
        Harness harness(HVRemoteProtocol::FTP);
        auto action =
            std::make_shared<HVPutFileAction>(harness.connection, local, "/www/page.html");
        harness.run(action);
        harness.reply({"200 Switching to Binary mode."});
        harness.reply({"local: " + local + ": Permission denied"});
        EXPECT_FALSE(harness.recorder->success);
        EXPECT_EQ(action->reason(), "local: " + local + ": Permission denied");
    }
}

TEST(HVRemoteFileAction, ADownloadReplacesTheLocalFileOnlyWhenItSucceeded) {
    HVTemporaryDirectory folder;
    std::string local = folder.write("index.html", "old");
    struct Case {
        HVRemoteProtocol protocol;
        std::string written;
        Lines reply;
        std::optional<std::uint64_t> expectedSize;
        bool success;
    };
    const Case cases[] = {
        {HVRemoteProtocol::WebDAV, "new!", {"Downloading `/i' to x: succeeded."}, 4, true},
        // cadaver leaves an empty file behind when the server refuses.
        {HVRemoteProtocol::WebDAV,
         "",
         {"Downloading `/i' to x:", "failed:", "404 Not Found"},
         std::nullopt,
         false},
        {HVRemoteProtocol::SFTP, "new", {"Fetching /i to x"}, 5, false},
        {HVRemoteProtocol::SFTP, "", {"File \"/i\" not found."}, std::nullopt, false},
        {HVRemoteProtocol::SFTP, "newer", {"Fetching /i to x"}, 5, true},
    };
    for (const Case& c : cases) {
        Harness harness(c.protocol);
        auto action = std::make_shared<HVGetFileAction>(harness.connection, "/i", local);
        if (c.expectedSize)
            action->setExpectedSize(*c.expectedSize);
        harness.run(action);
        ASSERT_EQ(harness.typed.size(), 1u);
        std::string partial = harness.lastArgument();
        EXPECT_NE(partial.find("/.halvet-partial-"), std::string::npos) << partial;
        std::ofstream(partial) << c.written;
        std::string before = readFile(local);
        harness.reply(c.reply);
        EXPECT_EQ(harness.recorder->success, c.success) << c.reply.back();
        EXPECT_EQ(readFile(local), c.success ? c.written : before) << c.reply.back();
        EXPECT_FALSE(exists(partial)) << partial;
        EXPECT_FALSE(exists(partial.substr(0, partial.rfind('/'))));
    }
}

TEST(HVRemoteFileAction, UploadingADirectoryGoesOnOverAnExistingOneOnlyWhereThatIsSure) {
    HVTemporaryDirectory folder;
    folder.write("site/a.html", "a");
    std::string site = folder.pathFor("site");
    struct Case {
        HVRemoteProtocol protocol;
        Lines mkdirReply;
        bool goesOn;
        // sftp's "Failure" is ambiguous: the folder is listed, and this is the answer.
        std::optional<Lines> listingReply;
    };
    const Case cases[] = {
        {HVRemoteProtocol::FTP, {"550 Create directory operation failed."}, true, {}},
        {HVRemoteProtocol::WebDAV, {"Creating `www': failed:", "405 Method Not Allowed"}, true, {}},
        {HVRemoteProtocol::WebDAV, {"Creating `www': failed:", "403 Forbidden"}, false, {}},
        {HVRemoteProtocol::SFTP,
         {"remote mkdir \"/www\": Failure"},
         false,
         Lines{"Can't ls: \"/www\" not found"}},
        {HVRemoteProtocol::SFTP, {"remote mkdir \"/www\": Failure"}, true, Lines{}},
        {HVRemoteProtocol::SFTP, {"remote mkdir \"/www\": Permission denied"}, false, {}},
    };
    for (const Case& c : cases) {
        Harness harness(c.protocol);
        auto action = std::make_shared<HVPutDirectoryAction>(harness.connection, site, "/www");
        harness.run(action);
        EXPECT_EQ(harness.typed.back(), "mkdir \"/www\"");
        harness.reply(c.mkdirReply);
        if (c.listingReply) {
            EXPECT_EQ(harness.recorder->reports, 0);
            EXPECT_EQ(harness.typed.back().substr(0, 3), "ls ");
            harness.reply(*c.listingReply);
        }
        EXPECT_EQ(harness.recorder->reports, c.goesOn ? 0 : 1) << c.mkdirReply.back();
        if (!c.goesOn) {
            EXPECT_EQ(action->reason(), c.mkdirReply.back());
            continue;
        }
        if (c.protocol == HVRemoteProtocol::FTP) {
            EXPECT_EQ(harness.typed.back(), "binary");
            harness.reply({"200 Switching to Binary mode."});
        }
        EXPECT_EQ(harness.typed.back(), "put \"" + site + "/a.html\" \"/www/a.html\"");
        harness.reply({"226 Transfer complete."});
        EXPECT_EQ(harness.recorder->reports, 1);
        EXPECT_TRUE(harness.recorder->success) << action->reason();
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
    auto action = std::make_shared<HVPutDirectoryAction>(harness.connection, site, "/www");
    harness.run(action);
    harness.reply({"mkdir \"/www\""});
    harness.reply({"Uploading a.html to /www/a.html"});
    harness.reply({"Uploading same to /www/same"});
    EXPECT_EQ(harness.typed, (Lines{"mkdir \"/www\"", "put \"" + site + "/a.html\" \"/www/a.html\"",
                                    "put \"" + site + "/same\" \"/www/same\""}));
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_NE(action->reason().find("leak"), std::string::npos) << action->reason();
}

TEST(HVRemoteFileAction, DeletingADirectoryEmptiesItFirst) {
    Harness harness(HVRemoteProtocol::FTP);
    auto action = std::make_shared<HVDeleteDirectoryAction>(harness.connection, "/old");
    harness.run(action);
    harness.reply({"150 Here comes the directory listing.",
                   "drwxr-xr-x 2 u g 4096 Dec 05 15:24 sub",
                   "-rw-r--r-- 1 u g 16 Dec 05 15:24 a b.txt", "226 Directory send OK."});
    harness.reply({"150 Here comes the directory listing.", "226 Directory send OK."});
    harness.reply({"250 Remove directory operation successful."});
    harness.reply({"250 Delete operation successful."});
    harness.reply({"250 Remove directory operation successful."});
    EXPECT_EQ(harness.typed, (Lines{"ls \"/old\"", "ls \"/old/sub\"", "rmdir \"/old/sub\"",
                                    "delete \"/old/a b.txt\"", "rmdir \"/old\""}));
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_TRUE(harness.recorder->success);
    EXPECT_EQ(harness.recorder->code, 250);
}

TEST(HVRemoteFileAction, DownloadingADirectoryReportsAFailedEntry) {
    HVTemporaryDirectory folder;
    std::string target = folder.pathFor("copy");
    Harness harness(HVRemoteProtocol::WebDAV);
    auto action = std::make_shared<HVGetDirectoryAction>(harness.connection, "/dav", target);
    harness.run(action);
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

TEST(HVRemoteFileAction, ConnectsOverFTP) {
    Harness harness(HVRemoteProtocol::FTP);
    auto action =
        HVConnectAction::make(harness.connection, "ftp.example.com", 0, "web", "s3cret", {"-A"});
    ASSERT_NE(dynamic_cast<HVFTPConnectAction*>(action.get()), nullptr);
    EXPECT_TRUE(action->failureIsFatal());
    harness.run(action);
    EXPECT_EQ(action->launchArguments(), (Lines{"-n", "-e", "-g", "-v", "-A"}));
    harness.reply({});
    EXPECT_EQ(action->state(), 1);
    harness.reply({"Connected to ftp.example.com.", "220 (vsFTPd 3.0.3)"});
    EXPECT_EQ(action->state(), 2);
    harness.ask({"331 Please specify the password.", "Password:"});
    EXPECT_EQ(action->state(), 3);
    harness.reply({"230 Login successful.", "Remote system type is UNIX."});
    EXPECT_EQ(action->state(), 4);
    for (int i = 0; i < 4; ++i)
        harness.reply({"Done."});
    EXPECT_EQ(harness.typed, (Lines{"open ftp.example.com 21", "user \"web\"", "s3cret",
                                    "passive off", "epsv4 off", "preserve on", "progress off"}));
    EXPECT_EQ(action->state(), 5);
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_TRUE(harness.recorder->success);

    auto again = action->clone();
    EXPECT_EQ(again->state(), 0);
    EXPECT_EQ(again->host(), "ftp.example.com");
}

TEST(HVRemoteFileAction, AnFTPLoginFailureIsReportedAtThePrompt) {
    Harness harness(HVRemoteProtocol::FTP);
    auto action = HVConnectAction::make(harness.connection, "h", 2121, "u", "p", {});
    harness.run(action);
    harness.reply({});
    EXPECT_EQ(harness.typed.back(), "open h 2121");
    harness.reply({"220 ready"});
    EXPECT_EQ(harness.typed.back(), "user \"u\"");
    harness.ask({"331 Password required", "Password:"});
    harness.reply({"530 Login incorrect.", "Login failed."});
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_EQ(harness.recorder->code, 530);
    HVError error = action->error(530);
    EXPECT_EQ(error.description(), "Could Not Connect");
    EXPECT_EQ(error.recoverySuggestion(),
              "Halvet could not connect to remote host \"h\". The host may not exist or may be "
              "unreachable.");
    ASSERT_NE(error.userInfoValue("HVRemoteReason"), nullptr);
    EXPECT_EQ(error.userInfoValue("HVRemoteReason")->stringValue().value_or(""),
              "530 Login incorrect.\nLogin failed.");
}

TEST(HVRemoteFileAction, AnSFTPPasswordAskedForTwiceWasRefused) {
    Harness harness(HVRemoteProtocol::SFTP);
    auto action = HVConnectAction::make(harness.connection, "example.org", 2222, "web", "pw",
                                        {"-oBatchMode=no"});
    harness.run(action);
    EXPECT_EQ(action->launchArguments(),
              (Lines{"-oBatchMode=no", "-oPort=2222", "web@example.org"}));
    harness.ask({"web@example.org's password: "});
    EXPECT_EQ(action->state(), 3);
    harness.ask({"Permission denied, please try again.", "web@example.org's password: "});
    EXPECT_EQ(harness.typed, Lines{"pw"});
    EXPECT_EQ(action->state(), 3);
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_EQ(harness.recorder->code, 0);

    Harness good(HVRemoteProtocol::SFTP);
    auto login = HVConnectAction::make(good.connection, "example.org", 0, "", "pw", {});
    good.run(login);
    EXPECT_EQ(login->launchArguments(), (Lines{"-oPort=22", "example.org"}));
    good.ask({"example.org's password: "});
    good.reply({"Connected to example.org."});
    EXPECT_EQ(login->state(), 5);
    EXPECT_TRUE(good.recorder->success);
}

TEST(HVRemoteFileAction, AnUnknownSFTPHostKeyIsTrustedOnlyWhenApproved) {
    const Lines question = {
        "The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be established.",
        "ED25519 key fingerprint is SHA256:abcDEF123.",
        "Are you sure you want to continue connecting (yes/no/[fingerprint])? "};
    for (bool approve : {false, true}) {
        Harness harness(HVRemoteProtocol::SFTP);
        auto action = HVConnectAction::make(harness.connection, "127.0.0.1", 2222, "u", "p", {});
        std::string asked;
        if (approve)
            action->setHostKeyApproval([&](const std::string& text) {
                asked = text;
                return true;
            });
        harness.run(action);
        harness.reply(question);
        EXPECT_EQ(harness.typed, Lines{approve ? "yes" : "no"});
        EXPECT_EQ(harness.recorder->reports, approve ? 0 : 1);
        if (approve)
            EXPECT_NE(asked.find("SHA256:abcDEF123"), std::string::npos);
        else
            EXPECT_NE(action->reason().find("ED25519 key fingerprint is SHA256:abcDEF123."),
                      std::string::npos)
                << action->reason();
    }
}

TEST(HVRemoteFileAction, ConnectsOverWebDAVAndStopsAfterTheSecondRefusal) {
    Harness harness(HVRemoteProtocol::WebDAV);
    auto action = HVConnectAction::make(harness.connection, "dav.example.com", 8443, "u", "p", {});
    action->setWebDAVScheme("https");
    action->setWebDAVPath("/my files");
    harness.run(action);
    harness.reply({});
    EXPECT_EQ(harness.typed.back(), "open https://dav.example.com:8443/my%20files/");
    harness.ask({"Authentication required for x on server `dav.example.com':", "Username: "});
    harness.ask({"Password: "});
    harness.ask({"Authentication required for x on server `dav.example.com':", "Username: "});
    harness.ask({"Password: "});
    EXPECT_EQ(harness.recorder->reports, 0);
    // Asking a third time would loop for ever; cadaver itself gives up after two.
    harness.ask({"Authentication required for x on server `dav.example.com':", "Username: "});
    EXPECT_EQ(harness.typed,
              (Lines{"open https://dav.example.com:8443/my%20files/", "u", "p", "u", "p"}));
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_EQ(action->state(), 3);

    Harness real(HVRemoteProtocol::WebDAV);
    auto twice = HVConnectAction::make(real.connection, "127.0.0.1", 18778, "u", "p", {});
    real.run(twice);
    real.reply({});
    for (int i = 0; i < 2; ++i) {
        real.ask({"Authentication required for x on server `127.0.0.1':", "Username: "});
        real.ask({"Password: "});
    }
    real.reply({"Could not open collection:",
                "Could not authenticate to server: rejected Basic challenge"});
    EXPECT_FALSE(real.recorder->success);
    EXPECT_EQ(twice->state(), 3);
    EXPECT_NE(twice->reason().find("rejected Basic challenge"), std::string::npos)
        << twice->reason();

    Harness plain(HVRemoteProtocol::WebDAV);
    auto open = HVConnectAction::make(plain.connection, "dav.example.com", 0, "u", "p", {});
    plain.run(open);
    plain.reply({});
    EXPECT_EQ(plain.typed.back(), "open http://dav.example.com/");
    plain.reply({"Could not access / (not WebDAV-enabled?):", "405 Method Not Allowed"});
    EXPECT_FALSE(plain.recorder->success);
    EXPECT_EQ(plain.recorder->code, 405);
}

TEST(HVRemoteFileAction, DescribesEachFailureWithTheServersOwnWords) {
    Harness harness(HVRemoteProtocol::FTP);
    auto action = std::make_shared<HVChmodFileAction>(harness.connection, "/www/a.php", "755");
    harness.run(action);
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
    };
    for (const Case& k : cases) {
        EXPECT_EQ(k.action->error(550).description(), k.description);
        EXPECT_EQ(k.action->error(550).recoverySuggestion(), k.suggestion);
    }
    EXPECT_EQ(std::make_shared<HVCommandAction>(c, "pwd", true)->error(0).recoverySuggestion(),
              "Halvet experienced an unknown error. Please try your operation again");
}

TEST(HVRemoteFileAction, AnFTPServerThatCannotBeReachedFailsAtThePrompt) {
    Harness harness(HVRemoteProtocol::FTP);
    auto action = HVConnectAction::make(harness.connection, "h", 0, "we\"b", "p", {});
    harness.run(action);
    harness.reply({});
    harness.reply({"ftp: Can't connect to `h:21': Connection refused"});
    EXPECT_EQ(harness.recorder->reports, 1);
    EXPECT_FALSE(harness.recorder->success);
    EXPECT_EQ(action->reason(), "ftp: Can't connect to `h:21': Connection refused");

    Harness quoted(HVRemoteProtocol::FTP);
    auto login = HVConnectAction::make(quoted.connection, "h", 0, "we\"b", "p", {});
    quoted.run(login);
    quoted.reply({});
    quoted.reply({"220 ready"});
    EXPECT_EQ(quoted.typed.back(), "user \"we\"\\\"\"b\"");
}

// cadaver's own words, as it prints them.
TEST(HVRemoteFileAction, WebDAVUploadsAreJudgedByCadaversReply) {
    HVTemporaryDirectory folder;
    std::string local = folder.write("upl.txt", "hi\n");
    struct Case {
        Lines reply;
        bool success;
        int code;
    };
    const Case cases[] = {
        {{"Uploading " + local + " to `/base/ok.txt':",
          "\rProgress: [=============================>] 100.0% of 3 bytes succeeded."},
         true,
         0},
        {{"Uploading " + local + " to `/base/ok.txt':",
          "\rProgress: [=============================>] 100.0% of 3 bytes failed:",
          "403 Forbidden"},
         false,
         403},
        {{"Uploading " + local +
          " to `/base/ok.txt': Could not open file: No such file or directory"},
         false,
         0},
    };
    for (const Case& c : cases) {
        Harness harness(HVRemoteProtocol::WebDAV);
        auto action = std::make_shared<HVPutFileAction>(harness.connection, local, "/base/ok.txt");
        harness.run(action);
        EXPECT_EQ(harness.typed, Lines{"put \"" + local + "\" \"/base/ok.txt\""});
        harness.reply(c.reply);
        EXPECT_EQ(harness.recorder->success, c.success) << c.reply.back();
        EXPECT_EQ(harness.recorder->code, c.code) << c.reply.back();
    }
}
