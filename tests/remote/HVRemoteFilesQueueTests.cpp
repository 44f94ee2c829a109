#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVLoopbackProxy.h"
#include "HVNetworkController.h"
#include "HVPreferences.h"
#include "HVRemoteFilesConnection.h"
#include "HVRemoteFilesQueue.h"
#include "HVRemoteLogController.h"
#include "HVTestServers.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

// The queue in this process, with the real clients against the real servers; faults come
// from a TCP proxy that can stall or cut the connection.

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

using Queue = HVRemoteFilesQueue;
using Text = const std::string&;

// Keeps every callback in order as text, for the test to compare.
class Recorder : public HVRemoteFilesQueueDelegate {
    template <class F> auto locked(F f) const {
        std::lock_guard lock(m_mutex);
        return f();
    }

public:
    void retrievedFiles(Queue&, const std::vector<HVRemoteFile>&, Text path) override {
        add("listed " + path);
    }
    void downloadedFile(Queue&, Text remote, Text) override { add("downloaded " + remote); }
    void uploadedFile(Queue&, Text, Text remote) override { add("uploaded " + remote); }
    void deletedFile(Queue&, Text remote) override { add("deleted " + remote); }
    void createdDirectory(Queue&, Text remote) override { add("created " + remote); }
    void didChmod(Queue&, Text mode, Text remote) override { add("chmod " + mode + " " + remote); }
    void openedConnection(Queue&) override {
        add("opened");
        if (onOpened)
            onOpened();
    }
    void hadFatalFailure(Queue&) override { add("fatal"); }
    bool hadCredentialsFailure(Queue&) override {
        add("credentials");
        return answersCredentials;
    }
    void hadError(Queue&, const HVError& error) override {
        locked([&] { m_errors.push_back(error); });
        add("error " + error.description());
    }
    void setStatus(Queue& queue, Text status, bool) override {
        locked([&] {
            m_statuses.push_back(status);
            m_statesAtStatus.push_back(queue.state());
        });
        if (onStatus)
            onStatus(status);
    }
    void closedConnection(Queue&) override { add("closed"); }

    Lines events() const {
        return locked([&] { return m_events; });
    }
    std::vector<HVError> errors() const {
        return locked([&] { return m_errors; });
    }
    int count(Text event) const {
        return locked([&] { return int(std::count(m_events.begin(), m_events.end(), event)); });
    }
    int countStarting(Text prefix) const {
        return locked([&] {
            return int(std::count_if(m_events.begin(), m_events.end(),
                                     [&](Text e) { return e.starts_with(prefix); }));
        });
    }
    bool sawStatus(Text status) const { return stateAt(status).has_value(); }
    std::string lastStatus() const {
        return locked([&] { return m_statuses.empty() ? "" : m_statuses.back(); });
    }
    // The queue's state when the status first arrived.
    std::optional<HVRemoteFilesQueue::State> stateAt(Text status) const {
        return locked([&]() -> std::optional<HVRemoteFilesQueue::State> {
            const auto at = std::find(m_statuses.begin(), m_statuses.end(), status);
            if (at == m_statuses.end())
                return std::nullopt;
            return m_statesAtStatus[at - m_statuses.begin()];
        });
    }

    std::atomic<bool> answersCredentials{false};
    // Run on the queue's thread, for tests that make faults at a given moment.
    std::function<void()> onOpened;
    std::function<void(const std::string&)> onStatus;

private:
    void add(std::string event) {
        locked([&] { m_events.push_back(std::move(event)); });
    }

    mutable std::mutex m_mutex;
    Lines m_events;
    Lines m_statuses;
    std::vector<HVRemoteFilesQueue::State> m_statesAtStatus;
    std::vector<HVError> m_errors;
};

// Pumps the main dispatcher (network news arrives there) until the condition holds.
bool waitFor(const std::function<bool()>& condition, double seconds) {
    return HVDispatcher::main().runUntil(condition, seconds);
}

bool processExists(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

// Every process with its state letter and parent, from /proc.
struct ProcessEntry {
    pid_t pid;
    char state;
    pid_t parent;
};

std::vector<ProcessEntry> processes() {
    std::vector<ProcessEntry> result;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0)
            continue;
        // "pid (name) S ppid ...": the name may hold blanks, so read after the last ")".
        std::ifstream file(entry.path() / "stat");
        const std::string text(std::istreambuf_iterator<char>(file), {});
        const auto close = text.rfind(')');
        if (close != std::string::npos && close + 4 <= text.size())
            result.push_back({pid, text[close + 2], pid_t(std::atoi(text.c_str() + close + 4))});
    }
    return result;
}

// Kills everything below the process (not the process itself); how many were killed.
int killDescendants(pid_t root) {
    const auto all = processes();
    std::vector<pid_t> found{root};
    for (std::size_t i = 0; i < found.size(); ++i)
        for (const ProcessEntry& entry : all)
            if (entry.parent == found[i])
                found.push_back(entry.pid);
    int killed = 0;
    for (std::size_t i = 1; i < found.size(); ++i)
        killed += ::kill(found[i], SIGKILL) == 0;
    return killed;
}

std::string readFile(const std::string& path) {
    return HVFileSystem::readFile(path).value_or("<none>");
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Gives a path in a server's folder to the user the server writes as (the folder's owner).
void giveToServer(const std::string& path) {
    struct stat info {};
    ASSERT_EQ(::stat(std::filesystem::path(path).parent_path().c_str(), &info), 0);
    ASSERT_EQ(::chown(path.c_str(), info.st_uid, info.st_gid), 0);
}

// 30 MB that no compression or pattern shortcuts; made once, since several tests send it.
const std::string& bigContent() {
    static const std::string bytes = [] {
        std::string result(30 << 20, '\0');
        std::uint32_t value = 12345;
        for (char& c : result) {
            value = value * 1103515245 + 12345;
            c = char(value >> 16);
        }
        return result;
    }();
    return bytes;
}

// The partial downloads the queue keeps in the folder: the size of each one's download so
// far, or -1 when it has none yet.
std::vector<long long> partialSizes(const std::string& folder) {
    std::vector<long long> sizes;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            struct stat info {};
            if (std::string(entry->d_name).starts_with(".halvet-partial"))
                sizes.push_back(
                    ::stat((folder + "/" + entry->d_name + "/download").c_str(), &info) == 0
                        ? info.st_size
                        : -1);
        }
        ::closedir(dir);
    }
    return sizes;
}

const HVRemoteProtocol kProtocols[] = {HVRemoteProtocol::FTP, HVRemoteProtocol::SFTP,
                                       HVRemoteProtocol::WebDAV};

class HVRemoteFilesQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_servers = HVTestServers::shared();
        ASSERT_TRUE(m_servers);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_name = std::string("queue-") + info->name();
        std::replace(m_name.begin(), m_name.end(), '/', '-');
        for (const auto type : kProtocols) {
            ::mkdir(localRoot(type).c_str(), 0755);
            giveToServer(localRoot(type));
        }
    }

    // Other tests list the servers' folders: ours go. No test leaves a client unreaped.
    void TearDown() override {
        if (!m_servers)
            return;
        for (const ProcessEntry& entry : processes())
            EXPECT_FALSE(entry.parent == ::getpid() && entry.state == 'Z')
                << "child " << entry.pid << " was never reaped";
        std::error_code ignored;
        for (const auto type : kProtocols)
            std::filesystem::remove_all(localRoot(type), ignored);
    }

    // The test's own folder on the server, as a local path and as the client names it.
    std::string localRoot(HVRemoteProtocol type) const {
        return (type == HVRemoteProtocol::FTP    ? m_servers->ftpRoot
                : type == HVRemoteProtocol::SFTP ? m_servers->sftpRoot
                                                 : m_servers->davRoot) +
               "/" + m_name;
    }
    std::string remoteRoot(HVRemoteProtocol type) const {
        return type == HVRemoteProtocol::WebDAV ? "/dav/" + m_name : localRoot(type);
    }
    // Puts a file on the server as if its user had made it.
    std::string serverFile(HVRemoteProtocol type, const std::string& name,
                           const std::string& bytes) {
        const std::string path = localRoot(type) + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        ::chmod(path.c_str(), 0644);
        giveToServer(path);
        return remoteRoot(type) + "/" + name;
    }

    // Through the proxy when one is given: its port stands for the server's, so the host key
    // is known under that port too.
    HVRemoteServer server(HVRemoteProtocol type, const HVLoopbackProxy* proxy = nullptr,
                          std::string password = {}) {
        HVRemoteServer result;
        result.host = "127.0.0.1";
        result.user = m_servers->user;
        result.password = password.empty() ? m_servers->password : password;
        result.port = proxy ? proxy->port() : serverPort(type);
        if (type == HVRemoteProtocol::WebDAV)
            result.webDAVPath = "/dav/";
        if (type == HVRemoteProtocol::SFTP) {
            std::string knownHosts = readFile(m_servers->knownHosts);
            if (proxy) {
                const std::string from = "]:" + std::to_string(m_servers->sftpPort);
                const auto at = knownHosts.find(from);
                if (at != std::string::npos)
                    knownHosts.replace(at, from.size(), "]:" + std::to_string(proxy->port()));
            }
            result.arguments = {"-oUserKnownHostsFile=" + m_local.write("known_hosts", knownHosts),
                                "-oStrictHostKeyChecking=yes", "-oPubkeyAuthentication=no",
                                "-oNumberOfPasswordPrompts=2"};
        }
        return result;
    }
    int serverPort(HVRemoteProtocol type) const {
        return type == HVRemoteProtocol::FTP    ? m_servers->ftpPort
               : type == HVRemoteProtocol::SFTP ? m_servers->sftpPort
                                                : m_servers->davPort;
    }

    std::unique_ptr<HVRemoteFilesQueue> makeQueue(HVRemoteProtocol type, double stallTimeout) {
        auto queue = std::make_unique<HVRemoteFilesQueue>(type, m_recorder);
        queue->setStallTimeout(stallTimeout);
        queue->setClientEnvironment({"LANG=C.UTF-8"});
        return queue;
    }

    bool connected(HVRemoteFilesQueue& queue, int times = 1) {
        return waitFor([&] { return m_recorder->count("opened") >= times; }, 15) &&
               queue.waitUntilIdle(10);
    }

    // A queue that has connected, through m_proxy when proxied; none when it could not.
    std::unique_ptr<HVRemoteFilesQueue> connectedQueue(HVRemoteProtocol type, double stallTimeout,
                                                       bool proxied = true) {
        if (proxied)
            m_proxy.emplace(serverPort(type));
        const int opened = m_recorder->count("opened") + 1;
        auto queue = makeQueue(type, stallTimeout);
        queue->connect(server(type, proxied ? &*m_proxy : nullptr));
        if (connected(*queue, opened))
            return queue;
        ADD_FAILURE() << queue->logController()->transcript();
        return nullptr;
    }

    const HVTestServerInfo* m_servers = nullptr;
    std::string m_name;
    HVTemporaryDirectory m_local;
    std::shared_ptr<Recorder> m_recorder = std::make_shared<Recorder>();
    std::optional<HVLoopbackProxy> m_proxy;
};

} // namespace

TEST_F(HVRemoteFilesQueueTest, RemembersEachRecentHostOnceNewestFirst) {
    auto& preferences = HVPreferences::sharedInstance();
    preferences.removeObjectForKey("HVRecentRemoteHosts");
    // Each remembered host as "host user protocol port", "-" for no port.
    const auto remembered = [&] {
        Lines lines;
        for (const auto& entry :
             preferences.arrayForKey("HVRecentRemoteHosts").value_or(HVPlistValue::Array{})) {
            const std::string* user = entry.stringForKey("HVRecentRemoteUser");
            const auto port = entry.integerForKey("HVRecentRemotePort");
            lines.push_back(
                *entry.stringForKey("HVRecentRemoteHost") + " " + (user ? *user : "?") + " " +
                std::to_string(entry.integerForKey("HVRecentRemoteProtocol").value_or(-1)) + " " +
                (port ? std::to_string(*port) : "-"));
        }
        return lines;
    };
    const auto entry = [](const std::string& host, const std::string& user,
                          HVRemoteProtocol protocol, const std::string& port) {
        return host + " " + user + " " + std::to_string(int(protocol)) + " " + port;
    };

    auto queue = makeQueue(HVRemoteProtocol::FTP, 10);
    queue->connect(server(HVRemoteProtocol::FTP));
    ASSERT_TRUE(connected(*queue));
    // Connecting a connected queue again replaces its session.
    const pid_t before = queue->connection()->pid();
    queue->connect(server(HVRemoteProtocol::FTP));
    ASSERT_TRUE(connected(*queue, 2)) << queue->logController()->transcript();
    EXPECT_NE(queue->connection()->pid(), before);
    EXPECT_FALSE(processExists(before));
    auto other = makeQueue(HVRemoteProtocol::FTP, 10);
    other->connect(server(HVRemoteProtocol::FTP));
    ASSERT_TRUE(connected(*other, 3));
    EXPECT_EQ(remembered(), Lines{entry("127.0.0.1", m_servers->user, HVRemoteProtocol::FTP,
                                        std::to_string(m_servers->ftpPort))});

    Lines expected;
    for (int i = 1; i <= 12; ++i) {
        HVRemoteServer other;
        other.host = "host" + std::to_string(i) + ".example.com";
        other.user = "u" + std::to_string(i);
        other.port = i % 2 ? 0 : 2000 + i;
        HVRememberRecentRemoteHost(other, HVRemoteProtocol::SFTP);
        if (i >= 2)
            expected.insert(expected.begin(), entry(other.host, other.user, HVRemoteProtocol::SFTP,
                                                    other.port ? std::to_string(other.port) : "-"));
    }
    EXPECT_EQ(remembered(), expected);
    preferences.removeObjectForKey("HVRecentRemoteHosts");
}

class HVRemoteFilesQueueProtocolTest : public HVRemoteFilesQueueTest,
                                       public ::testing::WithParamInterface<HVRemoteProtocol> {};

TEST_P(HVRemoteFilesQueueProtocolTest, RunsActionsInOrderReportingEachStepAndOneErrorPerFailure) {
    const HVRemoteProtocol type = GetParam();
    const std::string folder = remoteRoot(type);
    const std::string file = serverFile(type, "page.html", "<p>hello</p>\n");
    auto queue = connectedQueue(type, 10, false);
    ASSERT_TRUE(queue);
    EXPECT_EQ(queue->state(), HVRemoteFilesQueue::State::Idle);

    const std::string local = m_local.pathFor("page.html");
    queue->getFileListing(folder);
    ASSERT_TRUE(waitFor(
        [&] { return m_recorder->sawStatus("Getting file list for \"" + folder + "\""); }, 10));
    queue->downloadFile(file, local);
    queue->chmod("600", file);
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        queue->uploadFile(m_local.write(name, std::string("bytes of ") + name),
                          folder + "/" + name);
    queue->deleteFile(folder + "/missing.html");
    queue->createDirectory(folder + "/after");
    ASSERT_TRUE(queue->waitUntilIdle(20)) << queue->logController()->transcript();
    ASSERT_TRUE(waitFor([&] { return m_recorder->lastStatus() == "Connected"; }, 5));

    const bool webDAV = type == HVRemoteProtocol::WebDAV;
    Lines expected = {"opened", "listed " + folder, "downloaded " + file};
    expected.push_back(webDAV ? "error Could Not Change Permissions" : "chmod 600 " + file);
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        expected.push_back("uploaded " + folder + "/" + name);
    expected.push_back("error Could Not Delete File");
    expected.push_back("created " + folder + "/after");
    EXPECT_EQ(m_recorder->events(), expected) << queue->logController()->transcript();
    EXPECT_EQ(m_recorder->stateAt("Connecting"), HVRemoteFilesQueue::State::Connecting);
    EXPECT_EQ(m_recorder->stateAt("Uploading \"b.txt\""), HVRemoteFilesQueue::State::Busy);
    EXPECT_TRUE(m_recorder->sawStatus("Uploading \"a.txt\""));
    EXPECT_TRUE(m_recorder->sawStatus("Uploading \"c.txt\""));
    EXPECT_EQ(queue->idleStatus(), "Connected");
    EXPECT_EQ(readFile(local), "<p>hello</p>\n");
    EXPECT_EQ(readFile(localRoot(type) + "/b.txt"), "bytes of b.txt");
    EXPECT_TRUE(std::filesystem::is_directory(localRoot(type) + "/after"));
    EXPECT_EQ(int(std::filesystem::status(localRoot(type) + "/page.html").permissions()),
              webDAV ? 0644 : 0600);
    const auto errors = m_recorder->errors();
    ASSERT_FALSE(errors.empty());
    const HVError& deleteError = errors.back();
    EXPECT_EQ(deleteError.description(), "Could Not Delete File");
    const HVPlistValue* reason = deleteError.userInfoValue(HVRemoteReasonErrorKey);
    ASSERT_NE(reason, nullptr);
    const std::string words = reason->stringValue().value_or("");
    const std::string said = type == HVRemoteProtocol::SFTP  ? "No such file"
                             : type == HVRemoteProtocol::FTP ? "550"
                                                             : "404";
    EXPECT_NE(words.find(said), std::string::npos) << words;
    EXPECT_EQ(queue->state(), HVRemoteFilesQueue::State::Idle);

    queue->closeConnection();
    EXPECT_TRUE(
        waitFor([&] { return queue->state() == HVRemoteFilesQueue::State::NotRunning; }, 10));
    waitFor([] { return false; }, 0.3);
    EXPECT_EQ(m_recorder->count("closed"), 1);
    EXPECT_EQ(m_recorder->lastStatus(), "");
    EXPECT_EQ(queue->idleStatus(), "");
}

INSTANTIATE_TEST_SUITE_P(EachProtocol, HVRemoteFilesQueueProtocolTest,
                         ::testing::ValuesIn(kProtocols), [](const auto& info) {
                             return std::string(HVRemoteProtocolName(info.param));
                         });

TEST_F(HVRemoteFilesQueueTest, StalledServersAreLeftForNewConnectionsAndGivenUpInTheEnd) {
    const auto type = HVRemoteProtocol::SFTP;
    const std::string folder = remoteRoot(type);
    auto queue = connectedQueue(type, 1.5);
    ASSERT_TRUE(queue);
    const pid_t stalled = queue->connection()->pid();
    ASSERT_GT(stalled, 0);

    m_proxy->pause();
    queue->getFileListing(folder);
    // The stalled client is killed and reaped before the new one connects.
    EXPECT_TRUE(waitFor([&] { return !processExists(stalled); }, 5));
    m_proxy->resume();
    EXPECT_FALSE(exists("/proc/" + std::to_string(stalled) + "/stat"));
    ASSERT_TRUE(waitFor([&] { return m_recorder->count("listed " + folder) == 1; }, 10))
        << queue->logController()->transcript();
    EXPECT_EQ(m_recorder->events(), (Lines{"opened", "opened", "listed " + folder}));
    EXPECT_NE(queue->connection()->pid(), stalled);

    // A server that never answers ends in one error and a fatal failure.
    m_proxy->pause();
    const auto started = Clock::now();
    queue->getFileListing(folder);
    ASSERT_TRUE(waitFor([&] { return m_recorder->count("fatal") == 1; }, 15));
    EXPECT_TRUE(
        waitFor([&] { return queue->state() == HVRemoteFilesQueue::State::NotRunning; }, 5));
    waitFor([] { return false; }, 0.5);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(m_recorder->countStarting("error "), 1);
    EXPECT_EQ(m_recorder->count("error Could Not Connect"), 1);
    EXPECT_EQ(m_recorder->count("closed"), 1);

    // The owner may connect again once the server answers.
    m_proxy->resume();
    queue->connect(server(type, &*m_proxy));
    ASSERT_TRUE(connected(*queue, 3));
    queue->getFileListing(folder);
    ASSERT_TRUE(waitFor([&] { return m_recorder->count("listed " + folder) == 2; }, 10));

    // An action that stalls on every new connection too (each logs in, then the server stops
    // answering) is given up after two reconnects, and the queue stays usable.
    std::atomic<bool> faulty{true};
    m_recorder->onStatus = [&](const std::string& status) {
        if (faulty && status == "Connecting")
            m_proxy->resume();
    };
    m_recorder->onOpened = [&] {
        if (faulty)
            m_proxy->pause();
    };
    Lines expected = m_recorder->events();
    m_proxy->pause();
    queue->getFileListing(folder);
    ASSERT_TRUE(waitFor([&] { return m_recorder->countStarting("error ") == 2; }, 15))
        << queue->logController()->transcript();
    faulty = false;
    m_proxy->resume();
    waitFor([] { return false; }, 0.3);
    expected.insert(expected.end(), {"opened", "opened", "error Could Not Retrieve File Listing"});
    EXPECT_EQ(m_recorder->events(), expected);
    queue->getFileListing(folder);
    EXPECT_TRUE(waitFor([&] { return m_recorder->count("listed " + folder) == 3; }, 10))
        << queue->logController()->transcript();
    EXPECT_EQ(m_recorder->count("fatal"), 1);
}

TEST_F(HVRemoteFilesQueueTest, WaitsWhileTheNetworkIsDownAndGoesOnWhenItReturns) {
    const auto type = HVRemoteProtocol::SFTP;
    const std::string folder = remoteRoot(type);
    auto queue = connectedQueue(type, 1.5);
    ASSERT_TRUE(queue);
    auto& network = HVNetworkController::sharedInstance();

    network.reachabilityChanged("127.0.0.1", false);
    m_proxy->pause();
    ASSERT_TRUE(waitFor([&] { return m_recorder->countStarting("error ") == 1; }, 5));
    const HVError lost = m_recorder->errors().at(0);
    EXPECT_EQ(lost.code(), 11);
    EXPECT_EQ(lost.description(), "Network Lost");
    EXPECT_TRUE(lost.isLowPriority());
    EXPECT_EQ(m_recorder->lastStatus(), "Offline");
    EXPECT_EQ(queue->idleStatus(), "Offline");

    queue->uploadFile(m_local.write("one.txt", "one"), folder + "/one.txt");
    queue->uploadFile(m_local.write("two.txt", "two"), folder + "/two.txt");
    waitFor([] { return false; }, 2);
    EXPECT_FALSE(exists(localRoot(type) + "/one.txt"));
    Lines expected{"opened", "error Network Lost"};
    EXPECT_EQ(m_recorder->events(), expected);

    m_proxy->resume();
    network.reachabilityChanged("127.0.0.1", true);
    ASSERT_TRUE(waitFor([&] { return m_recorder->countStarting("uploaded ") == 2; }, 10))
        << queue->logController()->transcript();
    expected.insert(expected.end(),
                    {"uploaded " + folder + "/one.txt", "uploaded " + folder + "/two.txt"});
    EXPECT_EQ(m_recorder->events(), expected);
    EXPECT_EQ(readFile(localRoot(type) + "/two.txt"), "two");
    EXPECT_TRUE(waitFor([&] { return m_recorder->lastStatus() == "Connected"; }, 5));

    // An action that fails while offline (the server stalls, then the network goes, for
    // longer than the stall time-out) runs again when the network returns.
    m_proxy->pause();
    queue->uploadFile(m_local.write("late.txt", "late"), folder + "/late.txt");
    ASSERT_TRUE(waitFor([&] { return m_recorder->sawStatus("Uploading \"late.txt\""); }, 5));
    network.reachabilityChanged("127.0.0.1", false);
    waitFor([] { return false; }, 2.5);
    expected.push_back("error Network Lost");
    EXPECT_EQ(m_recorder->events(), expected);
    m_proxy->resume();
    network.reachabilityChanged("127.0.0.1", true);
    ASSERT_TRUE(
        waitFor([&] { return m_recorder->count("uploaded " + folder + "/late.txt") == 1; }, 10))
        << queue->logController()->transcript();
    EXPECT_EQ(readFile(localRoot(type) + "/late.txt"), "late");
    EXPECT_EQ(m_recorder->countStarting("error "), 2);
}

// How the server goes away in the middle of a transfer.
enum class CutOff {
    // Every connection through the proxy ends at once, as if the server process died.
    DroppedConnection,
    // The sshd process serving this session is killed.
    KilledSession,
};

struct CutOffCase {
    HVRemoteProtocol type;
    CutOff how;
};

class HVRemoteFilesQueueCutOffTest : public HVRemoteFilesQueueTest,
                                     public ::testing::WithParamInterface<CutOffCase> {
protected:
    // Connects (through a proxy when the fault needs one) and runs the transfer until the
    // condition says it is under way, then makes the fault.
    void cutOffDuring(const std::function<void(HVRemoteFilesQueue&)>& transfer,
                      const std::function<bool()>& underWay) {
        const auto [type, how] = GetParam();
        m_queue = connectedQueue(type, 2, how == CutOff::DroppedConnection);
        ASSERT_TRUE(m_queue);
        transfer(*m_queue);
        ASSERT_TRUE(waitFor(underWay, 10));
        if (how == CutOff::DroppedConnection) {
            m_proxy->pause();
            m_proxy->dropConnections();
            m_proxy->resume();
        } else {
            const std::string daemon = readFile(m_servers->directory + "/sshd.daemon.pid");
            ASSERT_GT(killDescendants(std::atoi(daemon.c_str())), 0);
        }
        ASSERT_TRUE(m_queue->waitUntilIdle(20)) << m_queue->logController()->transcript();
    }

    // Exactly one of done and failed was reported; when done, the bytes are all there.
    bool expectDoneWithAllBytesOrFailed(const std::string& done, const std::string& failed,
                                        const std::string& path) {
        const bool succeeded = m_recorder->count(done) == 1;
        EXPECT_NE(succeeded, m_recorder->count(failed) == 1)
            << m_queue->logController()->transcript()
            << testing::PrintToString(m_recorder->events());
        if (succeeded) {
            EXPECT_EQ(readFile(path).size(), bigContent().size())
                << m_queue->logController()->transcript();
            EXPECT_EQ(readFile(path) == bigContent(), true);
        }
        return succeeded;
    }

    std::unique_ptr<HVRemoteFilesQueue> m_queue;
};

// A download cut off leaves no partial file; then an upload cut off is never reported done.
TEST_P(HVRemoteFilesQueueCutOffTest, ATransferCutOffLeavesNoPartialFileAndIsNeverReportedDone) {
    const HVRemoteProtocol type = GetParam().type;
    const std::string remote = serverFile(type, "big.bin", bigContent());
    const std::string local = m_local.pathFor("big.bin");
    cutOffDuring([&](HVRemoteFilesQueue& queue) { queue.downloadFile(remote, local); },
                 [&] {
                     const auto sizes = partialSizes(m_local.path());
                     return std::any_of(sizes.begin(), sizes.end(),
                                        [](long long size) { return size > 0; });
                 });
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(expectDoneWithAllBytesOrFailed("downloaded " + remote,
                                               "error Could Not Download File", local) ||
                !exists(local));
    EXPECT_EQ(partialSizes(m_local.path()), std::vector<long long>{});

    const std::string source = m_local.write("up.bin", bigContent());
    const std::string uploaded = remoteRoot(type) + "/up.bin";
    const std::string onServer = localRoot(type) + "/up.bin";
    m_queue.reset();
    cutOffDuring([&](HVRemoteFilesQueue& queue) { queue.uploadFile(source, uploaded); },
                 [&] {
                     struct stat info {};
                     return ::stat(onServer.c_str(), &info) == 0 && info.st_size > 0;
                 });
    if (!HasFatalFailure())
        expectDoneWithAllBytesOrFailed("uploaded " + uploaded, "error Could Not Upload File",
                                       onServer);
}

INSTANTIATE_TEST_SUITE_P(
    EachFault, HVRemoteFilesQueueCutOffTest,
    ::testing::Values(CutOffCase{HVRemoteProtocol::SFTP, CutOff::DroppedConnection},
                      CutOffCase{HVRemoteProtocol::SFTP, CutOff::KilledSession},
                      CutOffCase{HVRemoteProtocol::FTP, CutOff::DroppedConnection}),
    [](const auto& info) {
        return std::string(HVRemoteProtocolName(info.param.type)) +
               (info.param.how == CutOff::DroppedConnection ? "DroppedConnection"
                                                            : "KilledSession");
    });

struct CredentialsCase {
    HVRemoteProtocol type;
    bool answered;
};

class HVRemoteFilesQueueCredentialsTest : public HVRemoteFilesQueueTest,
                                          public ::testing::WithParamInterface<CredentialsCase> {};

TEST_P(HVRemoteFilesQueueCredentialsTest, AWrongPasswordIsAskedForAtMostTwiceAndReportedOnce) {
    const auto [type, answered] = GetParam();
    m_recorder->answersCredentials = answered;
    auto queue = makeQueue(type, 10);
    const auto started = Clock::now();
    queue->connect(server(type, nullptr, "not-the-password"));
    queue->getFileListing(remoteRoot(type));
    ASSERT_TRUE(waitFor(
        [&] {
            return m_recorder->count(answered ? "credentials" : "fatal") == 1 &&
                   queue->state() == HVRemoteFilesQueue::State::NotRunning;
        },
        15))
        << queue->logController()->transcript();
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(15));
    waitFor([] { return false; }, 0.3);
    EXPECT_EQ(m_recorder->count("credentials"), 1);
    EXPECT_EQ(m_recorder->count("fatal"), answered ? 0 : 1);
    EXPECT_EQ(m_recorder->count("error Could Not Connect"), 1);
    EXPECT_EQ(m_recorder->countStarting("listed "), 0);
    const std::string transcript = queue->logController()->transcript();
    int prompts = 0;
    for (auto at = transcript.find("assword"); at != std::string::npos;
         at = transcript.find("assword", at + 1))
        ++prompts;
    EXPECT_GE(prompts, 1) << transcript;
    EXPECT_LE(prompts, 2) << transcript;
    EXPECT_EQ(transcript.find("not-the-password"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(EachProtocol, HVRemoteFilesQueueCredentialsTest,
                         ::testing::Values(CredentialsCase{HVRemoteProtocol::SFTP, true},
                                           CredentialsCase{HVRemoteProtocol::SFTP, false},
                                           CredentialsCase{HVRemoteProtocol::FTP, true},
                                           CredentialsCase{HVRemoteProtocol::WebDAV, false}),
                         [](const auto& info) {
                             return std::string(HVRemoteProtocolName(info.param.type)) +
                                    (info.param.answered ? "Answered" : "Unanswered");
                         });

TEST_F(HVRemoteFilesQueueTest, DestroyingTheQueueDuringADownloadEndsTheClientQuickly) {
    const auto type = HVRemoteProtocol::SFTP;
    const std::string remote = serverFile(type, "slow.bin", bigContent().substr(0, 1 << 20));
    auto queue = connectedQueue(type, 30);
    ASSERT_TRUE(queue);
    const pid_t client = queue->connection()->pid();
    m_proxy->pause();
    queue->downloadFile(remote, m_local.pathFor("slow.bin"));
    ASSERT_TRUE(waitFor([&] { return m_recorder->sawStatus("Downloading \"slow.bin\""); }, 5));

    const auto started = Clock::now();
    queue.reset();
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
    EXPECT_FALSE(processExists(client));
    EXPECT_FALSE(exists(m_local.pathFor("slow.bin")));
}

TEST_F(HVRemoteFilesQueueTest, ConnectingAgainRightAfterACredentialsFailureLogsIn) {
    // What an owner does when it answers: asks for the password and connects at once, while
    // the refused client is still on its way out (ftp stays at its prompt after a refusal).
    const auto type = HVRemoteProtocol::FTP;
    m_recorder->answersCredentials = true;
    auto queue = makeQueue(type, 10);
    queue->connect(server(type, nullptr, "not-the-password"));
    ASSERT_TRUE(waitFor([&] { return m_recorder->count("credentials") == 1; }, 15));
    queue->connect(server(type));
    queue->getFileListing(remoteRoot(type));
    EXPECT_TRUE(waitFor([&] { return m_recorder->count("listed " + remoteRoot(type)) == 1; }, 15))
        << queue->logController()->transcript() << testing::PrintToString(m_recorder->events());
    EXPECT_EQ(m_recorder->count("opened"), 1);
}

namespace {

// Also hears of its own operations' failures.
class OwnRecorder : public Recorder {
public:
    void actionFailed(Queue&, HVRemoteOperation operation, Text remotePath, Text secondPath,
                      const HVError& error) override {
        const std::lock_guard lock(mutex);
        failures.push_back(std::to_string(int(operation)) + " " + remotePath + " " + secondPath +
                           " " + error.description());
    }
    Lines failed() const {
        const std::lock_guard lock(mutex);
        return failures;
    }

private:
    mutable std::mutex mutex;
    Lines failures;
};

} // namespace

TEST_F(HVRemoteFilesQueueTest,
       RemovesOnlyTheWaitingActionsOfOneDelegateAndTellsFailuresToTheirOwn) {
    const auto type = HVRemoteProtocol::FTP;
    const std::string folder = remoteRoot(type);
    auto queue = connectedQueue(type, 60);
    ASSERT_TRUE(queue);
    const auto mine = std::make_shared<OwnRecorder>();
    const auto other = std::make_shared<OwnRecorder>();

    // The first listing waits on the held connection while the rest are queued behind it.
    m_proxy->pause();
    queue->getFileListing(folder, mine);
    ASSERT_TRUE(waitFor([&] { return queue->state() == HVRemoteFilesQueue::State::Busy; }, 10));
    queue->uploadFile(m_local.write("a.txt", "a"), folder + "/a.txt", mine);
    queue->deleteFile(folder + "/missing.txt", other);
    queue->createDirectory(folder + "/made", mine);
    queue->moveFile(folder + "/gone.txt", folder + "/sub/gone.txt", other);
    EXPECT_EQ(queue->removeActions(mine.get()), 2u);
    EXPECT_EQ(queue->removeActions(mine.get()), 0u);
    m_proxy->resume();
    ASSERT_TRUE(queue->waitUntilIdle(20)) << queue->logController()->transcript();

    EXPECT_EQ(mine->events(), Lines{"listed " + folder});
    EXPECT_EQ(mine->failed(), Lines{});
    EXPECT_EQ(other->failed(), (Lines{"4 " + folder + "/missing.txt  Could Not Delete File",
                                      "3 " + folder + "/gone.txt " + folder +
                                          "/sub/gone.txt Could Not Rename File"}));
    EXPECT_EQ(m_recorder->countStarting("error "), 2);
    EXPECT_FALSE(exists(localRoot(type) + "/a.txt"));
    EXPECT_FALSE(exists(localRoot(type) + "/made"));
}

TEST_F(HVRemoteFilesQueueTest, OperationsDroppedByAFatalFailureTellTheirOwnDelegates) {
    const auto type = HVRemoteProtocol::WebDAV;
    const auto mine = std::make_shared<OwnRecorder>();
    auto queue = makeQueue(type, 10);
    queue->connect(server(type, nullptr, "not-the-password"));
    const std::string local = m_local.write("a.txt", "a");
    queue->uploadFile(local, remoteRoot(type) + "/a.txt", mine);
    ASSERT_TRUE(waitFor(
        [&] {
            return m_recorder->count("fatal") == 1 &&
                   queue->state() == HVRemoteFilesQueue::State::NotRunning;
        },
        15))
        << queue->logController()->transcript();
    EXPECT_EQ(mine->failed(),
              Lines{"2 " + remoteRoot(type) + "/a.txt " + local + " Could Not Connect"});
}
