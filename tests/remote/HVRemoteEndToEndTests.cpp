// `halvet-cli remote` run as its own process against the real clients and servers: what a user
// types at a shell is what these tests type.

#include "HVChildProcess.h"
#include "HVRemoteProtocol.h"
#include "HVRemoteURL.h"
#include "HVTestServers.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct CLIRun {
    int status = -1;
    bool timedOut = false;
    std::string out;
    std::string err;
    double seconds = 0;
};

struct CLIOptions {
    std::optional<std::string> password;
    std::vector<std::string> environment;
    std::string knownHosts;
    double timeLimit = 60;
};

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every entry below a folder, relative, sorted; folders end with "/".
Lines tree(const std::string& folder) {
    Lines entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::string relative = fs::relative(it->path(), folder).string();
        entries.push_back(it->is_directory() ? relative + "/" : relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

Lines sortedLines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Folder sizes differ between servers; "ls" lines of folders are compared without them.
Lines listingWithoutFolderSizes(const std::string& text) {
    Lines lines = sortedLines(text);
    for (std::string& line : lines)
        if (line.starts_with("d\t"))
            line = "d\t-\t" + line.substr(line.find('\t', 2) + 1);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Runs body(i) for i in [0, count) on a few threads: each CLI run waits mostly for a client.
void parallelFor(std::size_t count, std::size_t width,
                 const std::function<void(std::size_t)>& body) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    for (std::size_t w = 0; w < std::min(width, count); ++w)
        workers.emplace_back([&] {
            for (std::size_t i = next++; i < count; i = next++)
                body(i);
        });
    for (std::thread& worker : workers)
        worker.join();
}

// Bytes that only a binary-exact transfer keeps: line ends, a NUL and the upper half.
std::string uniqueContent(const std::string& name) {
    std::string bytes = "content of " + name + "\r\nsecond line\n";
    bytes += '\0';
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        bytes += static_cast<char>(byte);
    return bytes + "\r\n";
}

// A folder of its own on one server, a private HOME for the command line tool, and the URLs.
class EndToEnd {
public:
    explicit EndToEnd(HVRemoteProtocol protocol, std::string label)
        : m_protocol(protocol), m_servers(HVTestServers::shared()) {
        if (!m_servers)
            return;
        m_folderName = "e2e-" + label + "-" + std::to_string(::getpid());
        const std::string root = serverRoot();
        fs::create_directories(serverFolder());
        struct stat owner {};
        ::stat(root.c_str(), &owner);
        // The servers write as their own users; the folder must be theirs.
        if (::chown(serverFolder().c_str(), owner.st_uid, owner.st_gid) != 0)
            ADD_FAILURE() << "cannot give " << serverFolder() << " to the server's user";
        for (const char* folder : {"home", "config", "data", "cache", "state", "tmp"})
            fs::create_directories(m_temporary.pathFor(folder));
    }
    ~EndToEnd() {
        if (m_servers)
            fs::remove_all(serverFolder());
    }

    bool ready() const { return m_servers != nullptr; }
    const HVTestServerInfo& servers() const { return *m_servers; }
    const HVTemporaryDirectory& temporary() const { return m_temporary; }

    std::string serverRoot() const {
        return m_protocol == HVRemoteProtocol::FTP    ? m_servers->ftpRoot
               : m_protocol == HVRemoteProtocol::SFTP ? m_servers->sftpRoot
                                                      : m_servers->davRoot;
    }
    int port() const {
        return m_protocol == HVRemoteProtocol::FTP    ? m_servers->ftpPort
               : m_protocol == HVRemoteProtocol::SFTP ? m_servers->sftpPort
                                                      : m_servers->davPort;
    }
    std::string serverFolder() const { return serverRoot() + "/" + m_folderName; }
    std::string serverPath(const std::string& relative) const {
        return serverFolder() + "/" + relative;
    }

    // The URL of a path below this test's folder; "" is the folder itself. Another port may
    // stand for the server's.
    std::string url(const std::string& relative, int otherPort = 0) const {
        const std::string path = "/" + m_folderName + (relative.empty() ? "" : "/" + relative);
        const std::string scheme = m_protocol == HVRemoteProtocol::FTP    ? "ftp://"
                                   : m_protocol == HVRemoteProtocol::SFTP ? "sftp://"
                                                                          : "webdav://";
        const std::string prefix = m_protocol == HVRemoteProtocol::FTP    ? ""
                                   : m_protocol == HVRemoteProtocol::SFTP ? m_servers->sftpRoot
                                                                          : "/dav";
        return scheme + m_servers->user +
               "@127.0.0.1:" + std::to_string(otherPort ? otherPort : port()) +
               HVPercentEncodePath(prefix + path);
    }

    std::vector<std::string> environment(const std::vector<std::string>& extra) const {
        std::vector<std::string> environment{"HOME=" + m_temporary.pathFor("home"),
                                             "XDG_CONFIG_HOME=" + m_temporary.pathFor("config"),
                                             "XDG_DATA_HOME=" + m_temporary.pathFor("data"),
                                             "XDG_CACHE_HOME=" + m_temporary.pathFor("cache"),
                                             "XDG_STATE_HOME=" + m_temporary.pathFor("state"),
                                             "TMPDIR=" + m_temporary.pathFor("tmp"),
                                             "LANG=C.UTF-8"};
        for (const char* name : {"PATH", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (const char* value = std::getenv(name))
                environment.push_back(std::string(name) + "=" + value);
        for (const std::string& entry : extra) {
            const std::string name = entry.substr(0, entry.find('=') + 1);
            std::erase_if(environment, [&](const std::string& e) { return e.starts_with(name); });
            environment.push_back(entry);
        }
        return environment;
    }

    // `halvet-cli remote --password-stdin --known-hosts FILE ARGUMENTS…`.
    CLIRun cli(const std::vector<std::string>& arguments, const CLIOptions& options = {}) const {
        HVChildProcess::Options child;
        child.arguments = {HALVET_CLI_PATH, "remote", "--password-stdin", "--known-hosts",
                           options.knownHosts.empty() ? m_servers->knownHosts : options.knownHosts};
        child.arguments.insert(child.arguments.end(), arguments.begin(), arguments.end());
        child.environment = environment(options.environment);
        child.standardInput = options.password.value_or(m_servers->password) + "\n";
        child.timeLimit = options.timeLimit;
        const auto start = std::chrono::steady_clock::now();
        HVError error;
        const auto result = HVChildProcess::run(child, &error);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!result)
            ADD_FAILURE() << "cannot run halvet-cli: " << error.fullDescription();
        return result ? CLIRun{result->exitStatus, result->timedOut, result->standardOutput,
                               result->standardError, seconds}
                      : CLIRun{};
    }

    // A run that must succeed.
    CLIRun ok(const std::vector<std::string>& arguments, const CLIOptions& options = {}) const {
        CLIRun run = cli(arguments, options);
        EXPECT_EQ(0, run.status) << testing::PrintToString(arguments) << ": " << run.err;
        return run;
    }

    // A file made directly in the server's folder, owned as if the server had written it.
    void makeOnServer(const std::string& relative, std::string_view bytes) const {
        const std::string path = serverPath(relative);
        std::ofstream(path, std::ios::binary) << bytes;
        struct stat owner {};
        ::stat(serverFolder().c_str(), &owner);
        if (::chown(path.c_str(), owner.st_uid, owner.st_gid) != 0)
            ADD_FAILURE() << "cannot give " << path << " to the server's user";
    }

private:
    HVRemoteProtocol m_protocol;
    const HVTestServerInfo* m_servers;
    std::string m_folderName;
    HVTemporaryDirectory m_temporary;
};

// One line "halvet-cli: OP URL: Description: reason".
void expectFailureLine(const CLIRun& run, const std::string& operation, const std::string& url,
                       const std::string& reason) {
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ("", run.out);
    const std::string prefix = "halvet-cli: " + operation + " " + url + ": ";
    EXPECT_EQ(prefix, run.err.substr(0, prefix.size()));
    EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(reason))
        << "expected \"" << reason << "\" in " << run.err;
}

class HVRemoteEndToEndTest : public ::testing::TestWithParam<HVRemoteProtocol> {};

const Lines kTrickyNames{
    "plain.txt", "a b.txt", "quote\"d.txt", "it's.txt",  "back\\slash.txt", "star*.txt", "q?.txt",
    "[br].txt",  "{c}.txt", "-lead.txt",    "#hash.txt", "café ñ 日本.txt", "a 5 b.txt"};

// cadaver matches * ? [ against the collection's names, so those names are never typed.
bool clientRefuses(HVRemoteProtocol protocol, const std::string& name) {
    return protocol == HVRemoteProtocol::WebDAV && name.find_first_of("*?[") != std::string::npos;
}

TEST_P(HVRemoteEndToEndTest, TrickyNamesRoundTripThroughEveryAction) {
    EndToEnd e(GetParam(), "names");
    ASSERT_TRUE(e.ready());
    Lines names;
    Lines refused;
    for (const std::string& name : kTrickyNames)
        (clientRefuses(GetParam(), name) ? refused : names).push_back(name);
    auto sorted = [](Lines lines) {
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    auto moved = [](const std::string& name) { return "moved " + name; };
    // Names that a wildcard, a brace or a backslash read by a client or shell would reach
    // instead of (or besides) the tricky one, before and after the move: a get would fetch
    // them, an rm delete them.
    Lines decoys;
    for (const char* decoy : {"starX.txt", "qX.txt", "b.txt", "c.txt", "backslash.txt"}) {
        decoys.push_back(decoy);
        decoys.push_back(moved(decoy));
    }
    for (const std::string& decoy : decoys)
        e.makeOnServer(decoy, "decoy " + decoy);
    auto withDecoys = [&](Lines lines) {
        lines.insert(lines.end(), decoys.begin(), decoys.end());
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    // Every name at once, but sshd drops unauthenticated connections beyond ten.
    const std::size_t width = GetParam() == HVRemoteProtocol::SFTP ? 8 : names.size();
    // Fifty runs: the leak check at each exit is left to the other tests' runs.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    CLIOptions quick;
    quick.environment = {"ASAN_OPTIONS=" + std::string(sanitizer ? sanitizer : "") +
                         ":detect_leaks=0"};

    // A few names go up on their own, the others through one put each as a recursive put
    // makes them.
    const Lines singlePuts{"it's.txt", "café ñ 日本.txt", "#hash.txt"};
    parallelFor(singlePuts.size(), width, [&](std::size_t i) {
        const std::string local =
            e.temporary().write("single/" + singlePuts[i], uniqueContent(singlePuts[i]));
        EXPECT_EQ("", e.ok({"put", local, e.url(singlePuts[i])}, quick).err);
    });
    for (const std::string& name : names)
        if (std::find(singlePuts.begin(), singlePuts.end(), name) == singlePuts.end())
            e.temporary().write("up/" + name, uniqueContent(name));
    e.ok({"put", "-r", e.temporary().pathFor("up"), e.url("")}, quick);
    for (const std::string& name : names)
        EXPECT_EQ(uniqueContent(name), readBytes(e.serverPath(name))) << name;
    EXPECT_EQ(withDecoys(names), tree(e.serverFolder()));

    Lines expectedListing;
    for (const std::string& decoy : decoys)
        expectedListing.push_back("f\t" + std::to_string(6 + decoy.size()) + "\t" + decoy);
    for (const std::string& name : names)
        expectedListing.push_back("f\t" + std::to_string(uniqueContent(name).size()) + "\t" + name);
    const CLIRun listing = e.ok({"ls", e.url("")});
    EXPECT_EQ(sorted(expectedListing), sortedLines(listing.out));

    // Every name comes back through the listing and one get each, as a recursive get is made.
    const std::string fetched = e.temporary().pathFor("down/all");
    fs::create_directories(e.temporary().pathFor("down"));
    e.ok({"get", "-r", e.url(""), fetched});
    // No partial download left behind either.
    EXPECT_EQ(withDecoys(names), tree(fetched));
    for (const std::string& name : names)
        EXPECT_EQ(uniqueContent(name), readBytes(fetched + "/" + name)) << name;
    for (const std::string& decoy : decoys)
        EXPECT_EQ("decoy " + decoy, readBytes(fetched + "/" + decoy)) << decoy;
    // A few on their own, into a folder, where the name is the URL's.
    const Lines singleGets{"quote\"d.txt", "back\\slash.txt", "-lead.txt"};
    const std::string folder = e.temporary().pathFor("down/single");
    fs::create_directories(folder);
    parallelFor(singleGets.size(), width, [&](std::size_t i) {
        e.ok({"get", e.url(singleGets[i]), folder}, quick);
        EXPECT_EQ(uniqueContent(singleGets[i]), readBytes(folder + "/" + singleGets[i]))
            << singleGets[i];
    });
    EXPECT_EQ(sorted(singleGets), tree(folder));
    EXPECT_EQ(withDecoys(names), tree(e.serverFolder()));

    parallelFor(names.size(), width, [&](std::size_t i) {
        e.ok({"mv", e.url(names[i]), e.url(moved(names[i]))}, quick);
        EXPECT_EQ(uniqueContent(names[i]), readBytes(e.serverPath(moved(names[i]))));
    });
    Lines movedNames;
    for (const std::string& name : names)
        movedNames.push_back(moved(name));
    EXPECT_EQ(withDecoys(movedNames), tree(e.serverFolder()));

    parallelFor(names.size(), width, [&](std::size_t i) {
        e.ok({"rm", e.url(moved(names[i]))}, quick);
    });
    for (const std::string& decoy : decoys)
        EXPECT_EQ("decoy " + decoy, readBytes(e.serverPath(decoy))) << decoy;
    EXPECT_EQ(withDecoys({}), tree(e.serverFolder()));

    // A refused name: nothing is typed, so nothing happens on the server.
    for (const std::string& name : refused) {
        const std::string local = e.temporary().write("refused/" + name, uniqueContent(name));
        expectFailureLine(e.cli({"put", local, e.url(name)}), "put", e.url(name), "wildcard");
        EXPECT_EQ(withDecoys({}), tree(e.serverFolder()));
        e.makeOnServer(name, "kept");
        expectFailureLine(e.cli({"rm", e.url(name)}), "rm", e.url(name), "wildcard");
        EXPECT_EQ(withDecoys({name}), tree(e.serverFolder()));
        fs::remove(e.serverPath(name));
    }
}

TEST_P(HVRemoteEndToEndTest, DirectoryTreeRoundTripsAndFolderCreation) {
    EndToEnd e(GetParam(), "tree");
    ASSERT_TRUE(e.ready());
    std::map<std::string, std::string> files{
        {"tree/empty.txt", ""},
        {"tree/all bytes.bin",
         [] {
             std::string bytes(256, '\0');
             std::iota(bytes.begin(), bytes.end(), '\0');
             return bytes;
         }()},
        {"tree/crlf.txt", "one\r\ntwo\r\n"},
        {"tree/a b/name with blank.txt", "blank\n"},
        {"tree/a b/nested/deep.txt", uniqueContent("deep")},
    };
    for (const auto& [path, bytes] : files)
        e.temporary().write("up/" + path, bytes);
    fs::create_directories(e.temporary().pathFor("up/tree/empty folder"));
    const std::string localTree = e.temporary().pathFor("up/tree");

    e.ok({"put", "-r", localTree, e.url("tree")});
    EXPECT_EQ(tree(localTree), tree(e.serverPath("tree")));
    for (const auto& [path, bytes] : files)
        EXPECT_EQ(bytes, readBytes(e.serverPath(path))) << path;
    // Uploading the folder again, as after changing a site, updates what is there.
    files["tree/a b/nested/deep.txt"] = "changed";
    e.temporary().write("up/tree/a b/nested/deep.txt", "changed");
    e.ok({"put", "-r", localTree, e.url("tree")});
    EXPECT_EQ(tree(localTree), tree(e.serverPath("tree")));
    EXPECT_EQ("changed", readBytes(e.serverPath("tree/a b/nested/deep.txt")));

    const CLIRun listing = e.ok({"ls", e.url("tree")});
    EXPECT_EQ((Lines{"d\t-\ta b", "d\t-\tempty folder", "f\t0\tempty.txt", "f\t10\tcrlf.txt",
                     "f\t256\tall bytes.bin"}),
              listingWithoutFolderSizes(listing.out));

    fs::create_directories(e.temporary().pathFor("down"));
    const std::string fetched = e.temporary().pathFor("down/tree");
    e.ok({"get", "-r", e.url("tree"), fetched});
    EXPECT_EQ(tree(localTree), tree(fetched));
    for (const auto& [path, bytes] : files)
        EXPECT_EQ(bytes, readBytes(e.temporary().pathFor("down/" + path))) << path;

    e.ok({"rm", "-r", e.url("tree")});
    EXPECT_EQ(Lines{}, tree(e.serverFolder()));

    // A new folder is made; making it again fails on every server (FTP 550, SFTP "Failure",
    // WebDAV 405) and leaves it as it was.
    e.ok({"mkdir", e.url("new folder")});
    EXPECT_EQ(Lines{"new folder/"}, tree(e.serverFolder()));
    const std::map<HVRemoteProtocol, std::string> existsReason{{HVRemoteProtocol::FTP, "550"},
                                                               {HVRemoteProtocol::SFTP, "Failure"},
                                                               {HVRemoteProtocol::WebDAV, "405"}};
    expectFailureLine(e.cli({"mkdir", e.url("new folder")}), "mkdir", e.url("new folder"),
                      existsReason.at(GetParam()));
    EXPECT_EQ(Lines{"new folder/"}, tree(e.serverFolder()));
}

TEST_P(HVRemoteEndToEndTest, FailuresNameTheOperationTheURLAndTheReasonAndListingsEscapeNames) {
    EndToEnd e(GetParam(), "failures");
    ASSERT_TRUE(e.ready());
    struct Reasons {
        std::string missingGet, missingRm, putIntoMissingFolder;
    };
    const std::map<HVRemoteProtocol, Reasons> reasons{
        {HVRemoteProtocol::FTP, {"550", "550", "553"}},
        {HVRemoteProtocol::SFTP, {"not found", "No such file", "No such file"}},
        {HVRemoteProtocol::WebDAV, {"404", "404", "404"}}};
    const Reasons& reason = reasons.at(GetParam());
    const std::string missing = e.url("missing.txt");

    fs::create_directories(e.temporary().pathFor("down"));
    const std::string target = e.temporary().pathFor("down/missing.txt");
    expectFailureLine(e.cli({"get", missing, target}), "get", missing, reason.missingGet);
    // Neither the file nor an empty one nor a partial download is left.
    EXPECT_EQ(Lines{}, tree(e.temporary().pathFor("down")));
    // A file that was there already stays as it was.
    const std::string kept = e.temporary().write("down/kept.txt", "kept");
    expectFailureLine(e.cli({"get", missing, kept}), "get", missing, reason.missingGet);
    EXPECT_EQ("kept", readBytes(kept));
    EXPECT_EQ(Lines{"kept.txt"}, tree(e.temporary().pathFor("down")));

    expectFailureLine(e.cli({"rm", missing}), "rm", missing, reason.missingRm);

    const std::string local = e.temporary().write("up/file.txt", "file");
    const std::string intoMissing = e.url("no folder/file.txt");
    expectFailureLine(e.cli({"put", local, intoMissing}), "put", intoMissing,
                      reason.putIntoMissingFolder);
    EXPECT_EQ(Lines{}, tree(e.serverFolder()));

    // A listing shows control characters in names escaped, never raw.
    e.makeOnServer("esc\x1b[1mbold\ttab.txt", "12345");
    EXPECT_EQ("f\t5\tesc\\x1b[1mbold\\x09tab.txt\n", e.ok({"ls", e.url("")}).out);
}

// The arguments and environment of every process on the machine.
std::string allProcessArgumentsAndEnvironments() {
    std::string all;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        all += readBytes(entry.path() / "cmdline") + '\n' + readBytes(entry.path() / "environ");
    }
    return all;
}

// Every file below a folder, its contents joined.
std::string allFileContents(const std::string& folder) {
    std::string all;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file())
            all += it->path().string() + "\n" + readBytes(it->path()) + "\n";
    return all;
}

TEST_P(HVRemoteEndToEndTest, PasswordNeverLeaksAndAWrongOneOrNoServerFailsQuickly) {
    EndToEnd e(GetParam(), "secret");
    ASSERT_TRUE(e.ready());
    const std::string& password = e.servers().password;
    std::string big;
    big.reserve(10 << 20);
    for (int block = 0; big.size() < (10u << 20); ++block)
        big += "block " + std::to_string(block) + " of a large file\n";
    e.makeOnServer("big.bin", big);

    // While a slow download runs, no process shows the password.
    const std::string log = e.temporary().pathFor("get.log");
    const std::string target = e.temporary().pathFor("big.bin");
    std::atomic<bool> done{false};
    CLIRun download;
    std::thread runner([&] {
        download = e.cli({"--log", log, "get", e.url("big.bin"), target});
        done = true;
    });
    int scans = 0;
    bool sawClient = false;
    std::string leakedIn;
    const std::string clientName = GetParam() == HVRemoteProtocol::WebDAV ? "cadaver"
                                   : GetParam() == HVRemoteProtocol::SFTP ? "sftp"
                                                                          : "ftp";
    while (!done) {
        const std::string processes = allProcessArgumentsAndEnvironments();
        ++scans;
        sawClient = sawClient || processes.find("/usr/bin/" + clientName + std::string(1, '\0')) !=
                                     std::string::npos;
        if (processes.find(password) != std::string::npos)
            leakedIn = "a process's arguments or environment";
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    runner.join();
    EXPECT_EQ(0, download.status) << download.err;
    EXPECT_EQ(big.size(), readBytes(target).size());
    EXPECT_TRUE(sawClient) << "the scan never saw the client run (" << scans << " scans)";
    EXPECT_EQ("", leakedIn);

    // A wrong password, or no server, fails quickly.
    const std::map<HVRemoteProtocol, std::string> refusal{
        {HVRemoteProtocol::FTP, "530 Login incorrect"},
        {HVRemoteProtocol::SFTP, "Permission denied"},
        {HVRemoteProtocol::WebDAV, "rejected Basic challenge"}};
    CLIOptions options;
    options.password = "not-" + e.servers().password;
    options.timeLimit = 20;
    // The wrong password holds the right one: neither may show (checked below).
    const std::string refusedLog = e.temporary().pathFor("refused.log");
    const CLIRun wrong = e.cli({"--log", refusedLog, "ls", e.url("")}, options);
    expectFailureLine(wrong, "ls", e.url(""), "Could Not Connect: ");
    EXPECT_NE(std::string::npos, wrong.err.find(refusal.at(GetParam()))) << wrong.err;
    EXPECT_LT(wrong.seconds, 20.0);
    EXPECT_NE("", readBytes(refusedLog));

    // A port where nothing listens (bound, so that nothing else takes it meanwhile).
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(0, ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    ASSERT_EQ(0, ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length));
    const std::string closed = e.url("", ntohs(address.sin_port));
    const CLIRun refused = e.cli({"ls", closed}, options);
    ::close(socket);
    expectFailureLine(refused, "ls", closed, "Could Not Connect: ");
    EXPECT_NE(std::string::npos, refused.err.find("Connection refused")) << refused.err;

    // And a failing run: its messages and transcript hold no password either.
    const std::string failureLog = e.temporary().pathFor("failure.log");
    const CLIRun failure = e.cli({"--log", failureLog, "rm", e.url("missing.txt")});
    EXPECT_EQ(1, failure.status);
    for (const auto& [what, text] : std::map<std::string, std::string>{
             {"download output", download.out + download.err},
             {"failure output", failure.out + failure.err + wrong.err + refused.err},
             {"transcripts", readBytes(log) + readBytes(failureLog) + readBytes(refusedLog)},
             {"private folders and temporary files", allFileContents(e.temporary().path())}})
        EXPECT_EQ(std::string::npos, text.find(password)) << what;
    EXPECT_NE("", readBytes(log));
}

INSTANTIATE_TEST_SUITE_P(Protocols, HVRemoteEndToEndTest,
                         ::testing::Values(HVRemoteProtocol::FTP, HVRemoteProtocol::SFTP,
                                           HVRemoteProtocol::WebDAV),
                         [](const auto& info) {
                             return std::string(HVRemoteProtocolName(info.param));
                         });

TEST(HVRemoteEndToEnd, UnknownSFTPHostKeyNeedsConsentAndAChangedOneIsRefused) {
    EndToEnd e(HVRemoteProtocol::SFTP, "hostkey");
    ASSERT_TRUE(e.ready());
    const std::string knownHosts = e.temporary().write("home/.ssh/halvet_known_hosts", "");
    CLIOptions options;
    options.knownHosts = knownHosts;

    const CLIRun unknown = e.cli({"mkdir", e.url("made")}, options);
    expectFailureLine(unknown, "mkdir", e.url("made"), e.servers().sshFingerprint);
    EXPECT_NE(std::string::npos, unknown.err.find("--accept-new-host-key")) << unknown.err;
    EXPECT_EQ(Lines{}, tree(e.serverFolder()));
    EXPECT_EQ("", readBytes(knownHosts));

    e.ok({"--accept-new-host-key", "mkdir", e.url("made")}, options);
    EXPECT_EQ(Lines{"made/"}, tree(e.serverFolder()));
    // The sshd's key as a known-hosts line gives it: "ssh-ed25519 AAAA…".
    std::string hostKey = readBytes(e.servers().knownHosts);
    hostKey = hostKey.substr(hostKey.find(' ') + 1);
    hostKey = hostKey.substr(0, hostKey.find_first_of("\r\n"));
    EXPECT_NE(std::string::npos, readBytes(knownHosts).find(hostKey)) << readBytes(knownHosts);

    // Another key for the same address: a man in the middle, never accepted.
    const std::string keyFile = e.temporary().pathFor("other_key");
    HVChildProcess::Options keygen;
    keygen.arguments = {"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", keyFile};
    const auto generated = HVChildProcess::run(keygen);
    ASSERT_TRUE(generated && generated->succeeded());
    std::string otherKey = readBytes(keyFile + ".pub");
    otherKey = otherKey.substr(0, otherKey.find(' ', otherKey.find(' ') + 1));
    const std::string changed = e.temporary().write(
        "home/.ssh/changed_known_hosts",
        "[127.0.0.1]:" + std::to_string(e.servers().sftpPort) + " " + otherKey + "\n");
    options.knownHosts = changed;
    const CLIRun refused = e.cli({"--accept-new-host-key", "mkdir", e.url("other")}, options);
    expectFailureLine(refused, "mkdir", e.url("other"), "Could Not Connect: ");
    EXPECT_NE(std::string::npos, refused.err.find("HOST IDENTIFICATION HAS CHANGED"))
        << refused.err;
    EXPECT_EQ(Lines{"made/"}, tree(e.serverFolder()));
}

TEST(HVRemoteEndToEnd, WebDAVClientSpeakingSpanishIsUnderstood) {
    EndToEnd e(HVRemoteProtocol::WebDAV, "spanish");
    ASSERT_TRUE(e.ready());
    // The installed cadaver takes only LC_CTYPE from the environment; the preloaded library
    // gives it the messages' language too. The command line tool, built with AddressSanitizer,
    // must then be told that its runtime is not the first library.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    CLIOptions spanish;
    spanish.environment = {"LANG=es_ES.UTF-8", "LD_PRELOAD=" HALVET_LOCALE_FROM_ENVIRONMENT,
                           "ASAN_OPTIONS=" + std::string(sanitizer ? sanitizer : "") +
                               ":verify_asan_link_order=0"};
    const std::string missing = e.url("falta.txt");
    const std::string log = e.temporary().pathFor("es.log");

    const std::string target = e.temporary().pathFor("falta.txt");
    expectFailureLine(e.cli({"--log", log, "get", missing, target}, spanish), "get", missing,
                      "404");
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    const std::string transcript = readBytes(log);
    // The client really spoke Spanish: otherwise this test proves nothing.
    EXPECT_NE(std::string::npos, transcript.find("Descargando")) << transcript;
    expectFailureLine(e.cli({"rm", missing}, spanish), "rm", missing, "404");

    const std::string local = e.temporary().write("up/sí.txt", uniqueContent("sí"));
    e.ok({"put", local, e.url("sí.txt")}, spanish);
    e.ok({"mkdir", e.url("carpeta")}, spanish);
    const CLIRun listing = e.ok({"ls", e.url("")}, spanish);
    EXPECT_EQ(
        (Lines{"d\t-\tcarpeta", "f\t" + std::to_string(uniqueContent("sí").size()) + "\tsí.txt"}),
        listingWithoutFolderSizes(listing.out));
    e.ok({"get", e.url("sí.txt"), target}, spanish);
    EXPECT_EQ(uniqueContent("sí"), readBytes(target));
    e.ok({"rm", e.url("sí.txt")}, spanish);
    EXPECT_EQ(Lines{"carpeta/"}, tree(e.serverFolder()));
}

} // namespace
