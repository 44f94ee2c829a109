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

// Keeps every callback in order as text, for the test to compare.
class Recorder : public HVRemoteFilesQueueDelegate {
public:
    void retrievedFiles(HVRemoteFilesQueue&, const std::vector<HVRemoteFile>&,
                        const std::string& path) override {
        add("listed " + path);
    }
    void downloadedFile(HVRemoteFilesQueue&, const std::string& remotePath,
                        const std::string&) override {
        add("downloaded " + remotePath);
    }
    void uploadedFile(HVRemoteFilesQueue&, const std::string&,
                      const std::string& remotePath) override {
        add("uploaded " + remotePath);
    }
    void deletedFile(HVRemoteFilesQueue&, const std::string& remotePath) override {
        add("deleted " + remotePath);
    }
    void createdDirectory(HVRemoteFilesQueue&, const std::string& remotePath) override {
        add("created " + remotePath);
    }
    void didChmod(HVRemoteFilesQueue&, const std::string& mode,
                  const std::string& remotePath) override {
        add("chmod " + mode + " " + remotePath);
    }
    void openedConnection(HVRemoteFilesQueue&) override {
        add("opened");
        if (onOpened)
            onOpened();
    }
    void hadFatalFailure(HVRemoteFilesQueue&) override { add("fatal"); }
    bool hadCredentialsFailure(HVRemoteFilesQueue&) override {
        add("credentials");
        return answersCredentials;
    }
    void hadError(HVRemoteFilesQueue&, const HVError& error) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back("error " + error.description());
        m_errors.push_back(error);
    }
    void setStatus(HVRemoteFilesQueue& queue, const std::string& status, bool) override {
        {
            std::lock_guard lock(m_mutex);
            m_statuses.push_back(status);
            m_statesAtStatus.push_back(queue.state());
        }
        if (onStatus)
            onStatus(status);
    }
    void closedConnection(HVRemoteFilesQueue&) override { add("closed"); }

    Lines events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    Lines statuses() const {
        std::lock_guard lock(m_mutex);
        return m_statuses;
    }
    std::vector<HVError> errors() const {
        std::lock_guard lock(m_mutex);
        return m_errors;
    }
    int count(const std::string& event) const {
        std::lock_guard lock(m_mutex);
        return int(std::count(m_events.begin(), m_events.end(), event));
    }
    int countStarting(const std::string& prefix) const {
        std::lock_guard lock(m_mutex);
        return int(std::count_if(m_events.begin(), m_events.end(),
                                 [&](const std::string& e) { return e.starts_with(prefix); }));
    }
    bool sawStatus(const std::string& status) const {
        std::lock_guard lock(m_mutex);
        return std::find(m_statuses.begin(), m_statuses.end(), status) != m_statuses.end();
    }
    std::string lastStatus() const {
        std::lock_guard lock(m_mutex);
        return m_statuses.empty() ? "" : m_statuses.back();
    }
    // The queue's state when the status first arrived.
    std::optional<HVRemoteFilesQueue::State> stateAt(const std::string& status) const {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_statuses.size(); ++i)
            if (m_statuses[i] == status)
                return m_statesAtStatus[i];
        return std::nullopt;
    }

    std::atomic<bool> answersCredentials{false};
    // Run on the queue's thread, for tests that make faults at a given moment.
    std::function<void()> onOpened;
    std::function<void(const std::string&)> onStatus;

private:
    void add(std::string event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
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

bool procEntryExists(pid_t pid) {
    struct stat info {};
    return ::stat(("/proc/" + std::to_string(pid) + "/stat").c_str(), &info) == 0;
}

// Every process with its state letter and parent, from /proc.
struct ProcessEntry {
    pid_t pid;
    char state;
    pid_t parent;
};

std::vector<ProcessEntry> processes() {
    std::vector<ProcessEntry> result;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return result;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        // "pid (name) S ppid ...": the name may hold blanks, so read after the last ")".
        const auto close = text.rfind(')');
        if (close == std::string::npos || close + 4 > text.size())
            continue;
        result.push_back({pid, text[close + 2], pid_t(std::atoi(text.c_str() + close + 4))});
    }
    ::closedir(proc);
    return result;
}

// Children of this process that have ended and were never reaped.
std::vector<pid_t> zombieChildren() {
    std::vector<pid_t> zombies;
    for (const ProcessEntry& entry : processes())
        if (entry.parent == ::getpid() && entry.state == 'Z')
            zombies.push_back(entry.pid);
    return zombies;
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

int modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Gives a path below a server's folder to the user the server writes as.
void giveToServer(const std::string& root, const std::string& path) {
    struct stat info {};
    ASSERT_EQ(::stat(root.c_str(), &info), 0);
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

// Files in the folder whose names start with the prefix, recursively one level.
int leftovers(const std::string& folder, const std::string& prefix) {
    int count = 0;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::string(entry->d_name).starts_with(prefix))
                ++count;
        ::closedir(dir);
    }
    return count;
}

// The size of the download the queue is writing next to the local path, or -1.
long long partialSize(const std::string& folder) {
    long long size = -1;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (!std::string(entry->d_name).starts_with(".halvet-partial"))
                continue;
            struct stat info {};
            if (::stat((folder + "/" + entry->d_name + "/download").c_str(), &info) == 0)
                size = std::max<long long>(size, info.st_size);
        }
        ::closedir(dir);
    }
    return size;
}

class HVRemoteFilesQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_servers = HVTestServers::shared();
        ASSERT_TRUE(m_servers);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_name = std::string("queue-") + info->name();
        std::replace(m_name.begin(), m_name.end(), '/', '-');
        for (const std::string* root :
             {&m_servers->ftpRoot, &m_servers->sftpRoot, &m_servers->davRoot}) {
            const std::string folder = *root + "/" + m_name;
            ::mkdir(folder.c_str(), 0755);
            giveToServer(*root, folder);
        }
    }

    // Other tests list the servers' folders: ours go.
    void TearDown() override {
        if (!m_servers)
            return;
        for (const std::string* root :
             {&m_servers->ftpRoot, &m_servers->sftpRoot, &m_servers->davRoot}) {
            std::error_code ignored;
            std::filesystem::remove_all(*root + "/" + m_name, ignored);
        }
    }

    // The test's own folder on the server, as a local path and as the client names it.
    std::string localRoot(HVRemoteProtocol type) const {
        switch (type) {
        case HVRemoteProtocol::FTP:
            return m_servers->ftpRoot + "/" + m_name;
        case HVRemoteProtocol::SFTP:
            return m_servers->sftpRoot + "/" + m_name;
        case HVRemoteProtocol::WebDAV:
            break;
        }
        return m_servers->davRoot + "/" + m_name;
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
        giveToServer(localRoot(type), path);
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
        switch (type) {
        case HVRemoteProtocol::FTP:
            result.port = m_servers->ftpPort;
            break;
        case HVRemoteProtocol::SFTP: {
            result.port = m_servers->sftpPort;
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
            break;
        }
        case HVRemoteProtocol::WebDAV:
            result.port = m_servers->davPort;
            result.webDAVPath = "/dav/";
            break;
        }
        if (proxy)
            result.port = proxy->port();
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

    const HVTestServerInfo* m_servers = nullptr;
    std::string m_name;
    HVTemporaryDirectory m_local;
    std::shared_ptr<Recorder> m_recorder = std::make_shared<Recorder>();
};

} // namespace

TEST_F(HVRemoteFilesQueueTest, RunsOperationsInTheOrderAskedAndReportsEachStep) {
    const auto type = HVRemoteProtocol::SFTP;
    const std::string folder = remoteRoot(type);
    auto queue = makeQueue(type, 10);
    queue->connect(server(type));
    ASSERT_TRUE(connected(*queue)) << queue->logController()->transcript();
    EXPECT_EQ(queue->state(), HVRemoteFilesQueue::State::Idle);

    queue->getFileListing(folder);
    ASSERT_TRUE(waitFor(
        [&] { return m_recorder->sawStatus("Getting file list for \"" + folder + "\""); }, 10));
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        queue->uploadFile(m_local.write(name, std::string("bytes of ") + name),
                          folder + "/" + name);
    queue->createDirectory(folder + "/made");
    ASSERT_TRUE(queue->waitUntilIdle(20));
    ASSERT_TRUE(waitFor([&] { return m_recorder->lastStatus() == "Connected"; }, 5));

    EXPECT_EQ(m_recorder->events(),
              (Lines{"opened", "listed " + folder, "uploaded " + folder + "/a.txt",
                     "uploaded " + folder + "/b.txt", "uploaded " + folder + "/c.txt",
                     "created " + folder + "/made"}));
    EXPECT_EQ(m_recorder->stateAt("Connecting"), HVRemoteFilesQueue::State::Connecting);
    EXPECT_EQ(m_recorder->stateAt("Uploading \"b.txt\""), HVRemoteFilesQueue::State::Busy);
    EXPECT_TRUE(m_recorder->sawStatus("Uploading \"a.txt\""));
    EXPECT_TRUE(m_recorder->sawStatus("Uploading \"c.txt\""));
    EXPECT_EQ(queue->idleStatus(), "Connected");
    EXPECT_EQ(readFile(localRoot(type) + "/b.txt"), "bytes of b.txt");
    struct stat info {};
    EXPECT_EQ(::stat((localRoot(type) + "/made").c_str(), &info) == 0 && S_ISDIR(info.st_mode),
              true);

    queue->closeConnection();
    EXPECT_TRUE(
        waitFor([&] { return queue->state() == HVRemoteFilesQueue::State::NotRunning; }, 10));
    waitFor([] { return false; }, 0.3);
    EXPECT_EQ(m_recorder->count("closed"), 1);
    EXPECT_EQ(m_recorder->lastStatus(), "");
    EXPECT_EQ(queue->idleStatus(), "");
}

TEST_F(HVRemoteFilesQueueTest, RemembersEachRecentHostOnceNewestFirst) {
    auto& preferences = HVPreferences::sharedInstance();
    preferences.removeObjectForKey("HVRecentRemoteHosts");
    const auto hosts = [&] {
        Lines names;
        for (const auto& entry :
             preferences.arrayForKey("HVRecentRemoteHosts").value_or(HVPlistValue::Array{}))
            names.push_back(*entry.stringForKey("HVRecentRemoteHost"));
        return names;
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
    EXPECT_EQ(hosts(), Lines{"127.0.0.1"});
    const auto first =
        preferences.arrayForKey("HVRecentRemoteHosts").value_or(HVPlistValue::Array{});
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].stringForKey("HVRecentRemoteUser")
                  ? *first[0].stringForKey("HVRecentRemoteUser")
                  : "",
              m_servers->user);
    EXPECT_EQ(first[0].integerForKey("HVRecentRemoteProtocol"), int(HVRemoteProtocol::FTP));
    EXPECT_EQ(first[0].integerForKey("HVRecentRemotePort"), m_servers->ftpPort);

    for (int i = 1; i <= 12; ++i) {
        HVRemoteServer other;
        other.host = "host" + std::to_string(i) + ".example.com";
        other.user = "u" + std::to_string(i);
        other.port = i % 2 ? 0 : 2000 + i;
        HVRememberRecentRemoteHost(other, HVRemoteProtocol::SFTP);
    }
    Lines expected;
    for (int i = 12; i >= 2; --i)
        expected.push_back("host" + std::to_string(i) + ".example.com");
    EXPECT_EQ(hosts(), expected);
    const auto all = preferences.arrayForKey("HVRecentRemoteHosts").value_or(HVPlistValue::Array{});
    ASSERT_EQ(all.size(), 11u);
    EXPECT_EQ(all[0].integerForKey("HVRecentRemotePort"), 2012);
    EXPECT_EQ(all[1].integerForKey("HVRecentRemotePort"), std::nullopt);
    EXPECT_EQ(*all[1].stringForKey("HVRecentRemoteUser"), "u11");
    EXPECT_EQ(all[1].integerForKey("HVRecentRemoteProtocol"), int(HVRemoteProtocol::SFTP));
    preferences.removeObjectForKey("HVRecentRemoteHosts");
}

class HVRemoteFilesQueueProtocolTest : public HVRemoteFilesQueueTest,
                                       public ::testing::WithParamInterface<HVRemoteProtocol> {};

TEST_P(HVRemoteFilesQueueProtocolTest, ListsDownloadsChangesModesAndReportsOneErrorPerFailure) {
    const HVRemoteProtocol type = GetParam();
    const std::string folder = remoteRoot(type);
    const std::string file = serverFile(type, "page.html", "<p>hello</p>\n");
    auto queue = makeQueue(type, 10);
    queue->connect(server(type));
    ASSERT_TRUE(connected(*queue)) << queue->logController()->transcript();

    const std::string local = m_local.pathFor("page.html");
    queue->getFileListing(folder);
    queue->downloadFile(file, local);
    queue->chmod("600", file);
    queue->deleteFile(folder + "/missing.html");
    queue->createDirectory(folder + "/after");
    ASSERT_TRUE(queue->waitUntilIdle(20)) << queue->logController()->transcript();

    const bool webDAV = type == HVRemoteProtocol::WebDAV;
    Lines expected = {"opened", "listed " + folder, "downloaded " + file};
    expected.push_back(webDAV ? "error Could Not Change Permissions" : "chmod 600 " + file);
    expected.push_back("error Could Not Delete File");
    expected.push_back("created " + folder + "/after");
    EXPECT_EQ(m_recorder->events(), expected) << queue->logController()->transcript();
    EXPECT_EQ(readFile(local), "<p>hello</p>\n");
    EXPECT_EQ(modeOf(localRoot(type) + "/page.html"), webDAV ? 0644 : 0600);
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
}

INSTANTIATE_TEST_SUITE_P(EachProtocol, HVRemoteFilesQueueProtocolTest,
                         ::testing::Values(HVRemoteProtocol::FTP, HVRemoteProtocol::SFTP,
                                           HVRemoteProtocol::WebDAV),
                         [](const auto& info) {
                             return std::string(HVRemoteProtocolName(info.param));
                         });

TEST_F(HVRemoteFilesQueueTest, AStalledServerIsLeftAndTheActionRunsAgainOnANewConnection) {
    const auto type = HVRemoteProtocol::SFTP;
    const std::string folder = remoteRoot(type);
    HVLoopbackProxy proxy(serverPort(type));
    auto queue = makeQueue(type, 1.5);
    queue->connect(server(type, &proxy));
    ASSERT_TRUE(connected(*queue)) << queue->logController()->transcript();
    const pid_t stalled = queue->connection()->pid();
    ASSERT_GT(stalled, 0);

    proxy.pause();
    queue->getFileListing(folder);
    // The stalled client is killed and reaped before the new one connects.
    EXPECT_TRUE(waitFor([&] { return !processExists(stalled); }, 5));
    proxy.resume();
    EXPECT_FALSE(procEntryExists(stalled));
    ASSERT_TRUE(waitFor([&] { return m_recorder->count("listed " + folder) == 1; }, 10))
        << queue->logController()->transcript();
    EXPECT_EQ(m_recorder->events(), (Lines{"opened", "opened", "listed " + folder}));
    EXPECT_NE(queue->connection()->pid(), stalled);
    EXPECT_EQ(zombieChildren(), std::vector<pid_t>{});
}

TEST_F(HVRemoteFilesQueueTest, AServerThatNeverAnswersEndsInOneErrorAndAFatalFailure) {
    const auto type = HVRemoteProtocol::SFTP;
    HVLoopbackProxy proxy(serverPort(type));
    auto queue = makeQueue(type, 1);
    queue->connect(server(type, &proxy));
    ASSERT_TRUE(connected(*queue));
    proxy.pause();
    const auto started = Clock::now();
    queue->getFileListing(remoteRoot(type));
    ASSERT_TRUE(waitFor([&] { return m_recorder->count("fatal") == 1; }, 15));
    EXPECT_TRUE(
        waitFor([&] { return queue->state() == HVRemoteFilesQueue::State::NotRunning; }, 5));
    waitFor([] { return false; }, 0.5);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(m_recorder->countStarting("error "), 1);
    EXPECT_EQ(m_recorder->count("error Could Not Connect"), 1);
    EXPECT_EQ(m_recorder->count("closed"), 1);
    EXPECT_EQ(zombieChildren(), std::vector<pid_t>{});

    // The owner may connect again once the server answers.
    proxy.resume();
    queue->connect(server(type, &proxy));
    ASSERT_TRUE(connected(*queue, 2));
    queue->getFileListing(remoteRoot(type));
    EXPECT_TRUE(waitFor([&] { return m_recorder->count("listed " + remoteRoot(type)) == 1; }, 10));
}

TEST_F(HVRemoteFilesQueueTest, AnActionThatStallsOnEveryConnectionIsGivenUpAfterTwoReconnects) {
    const auto type = HVRemoteProtocol::SFTP;
    const std::string folder = remoteRoot(type);
    HVLoopbackProxy proxy(serverPort(type));
    auto queue = makeQueue(type, 1);
    // Each new connection logs in, then the server stops answering.
    std::atomic<bool> faulty{true};
    m_recorder->onStatus = [&](const std::string& status) {
        if (faulty && status == "Connecting")
            proxy.resume();
    };
    m_recorder->onOpened = [&] {
        if (faulty)
            proxy.pause();
    };
    queue->connect(server(type, &proxy));
    ASSERT_TRUE(connected(*queue));
    queue->getFileListing(folder);
    ASSERT_TRUE(waitFor([&] { return m_recorder->countStarting("error ") >= 1; }, 15))
        << queue->logController()->transcript();
    faulty = false;
    proxy.resume();
    waitFor([] { return false; }, 0.3);
    EXPECT_EQ(m_recorder->events(),
              (Lines{"opened", "opened", "opened", "error Could Not Retrieve File Listing"}));

    // The queue stays usable: the next action connects afresh.
    queue->getFileListing(folder);
    EXPECT_TRUE(waitFor([&] { return m_recorder->count("listed " + folder) == 1; }, 10))
        << queue->logController()->transcript();
    EXPECT_EQ(m_recorder->count("fatal"), 0);
    EXPECT_EQ(zombieChildren(), std::vector<pid_t>{});
}

TEST_F(HVRemoteFilesQueueTest, WaitsWhileTheNetworkIsDownAndGoesOnWhenItReturns) {
    const auto type = HVRemoteProtocol::SFTP;
    const std::string folder = remoteRoot(type);
    HVLoopbackProxy proxy(serverPort(type));
    auto queue = makeQueue(type, 1.5);
    queue->connect(server(type, &proxy));
    ASSERT_TRUE(connected(*queue));

    HVNetworkController::sharedInstance().reachabilityChanged("127.0.0.1", false);
    proxy.pause();
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
    EXPECT_EQ(m_recorder->events(), (Lines{"opened", "error Network Lost"}));

    proxy.resume();
    HVNetworkController::sharedInstance().reachabilityChanged("127.0.0.1", true);
    ASSERT_TRUE(waitFor([&] { return m_recorder->countStarting("uploaded ") == 2; }, 10))
        << queue->logController()->transcript();
    EXPECT_EQ(m_recorder->events(),
              (Lines{"opened", "error Network Lost", "uploaded " + folder + "/one.txt",
                     "uploaded " + folder + "/two.txt"}));
    EXPECT_EQ(readFile(localRoot(type) + "/two.txt"), "two");
    EXPECT_TRUE(waitFor([&] { return m_recorder->lastStatus() == "Connected"; }, 5));
}

TEST_F(HVRemoteFilesQueueTest, AnActionThatFailedWhileOfflineRunsAgainWhenTheNetworkReturns) {
    const auto type = HVRemoteProtocol::SFTP;
    const std::string folder = remoteRoot(type);
    HVLoopbackProxy proxy(serverPort(type));
    auto queue = makeQueue(type, 1);
    queue->connect(server(type, &proxy));
    ASSERT_TRUE(connected(*queue));

    proxy.pause();
    queue->uploadFile(m_local.write("late.txt", "late"), folder + "/late.txt");
    ASSERT_TRUE(waitFor([&] { return m_recorder->sawStatus("Uploading \"late.txt\""); }, 5));
    HVNetworkController::sharedInstance().reachabilityChanged("127.0.0.1", false);
    // Longer than the stall time-out: the running upload fails while offline.
    waitFor([] { return false; }, 2.5);
    EXPECT_EQ(m_recorder->events(), (Lines{"opened", "error Network Lost"}));

    proxy.resume();
    HVNetworkController::sharedInstance().reachabilityChanged("127.0.0.1", true);
    ASSERT_TRUE(
        waitFor([&] { return m_recorder->count("uploaded " + folder + "/late.txt") == 1; }, 10))
        << queue->logController()->transcript();
    EXPECT_EQ(readFile(localRoot(type) + "/late.txt"), "late");
    EXPECT_EQ(m_recorder->countStarting("error "), 1);
    EXPECT_EQ(zombieChildren(), std::vector<pid_t>{});
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
        std::optional<HVLoopbackProxy> proxy;
        if (how == CutOff::DroppedConnection)
            proxy.emplace(serverPort(type));
        m_queue = makeQueue(type, 2);
        m_queue->connect(server(type, proxy ? &*proxy : nullptr));
        ASSERT_TRUE(connected(*m_queue));
        transfer(*m_queue);
        ASSERT_TRUE(waitFor(underWay, 10));
        if (proxy) {
            proxy->pause();
            proxy->dropConnections();
            proxy->resume();
        } else {
            const std::string daemon = readFile(m_servers->directory + "/sshd.daemon.pid");
            ASSERT_GT(killDescendants(std::atoi(daemon.c_str())), 0);
        }
        ASSERT_TRUE(m_queue->waitUntilIdle(20)) << m_queue->logController()->transcript();
    }

    std::unique_ptr<HVRemoteFilesQueue> m_queue;
};

TEST_P(HVRemoteFilesQueueCutOffTest, ADownloadCutOffLeavesNoPartialFile) {
    const HVRemoteProtocol type = GetParam().type;
    const std::string& bytes = bigContent();
    const std::string remote = serverFile(type, "big.bin", bytes);
    const std::string local = m_local.pathFor("big.bin");
    cutOffDuring([&](HVRemoteFilesQueue& queue) { queue.downloadFile(remote, local); },
                 [&] { return partialSize(m_local.path()) > 0; });
    if (HasFatalFailure())
        return;
    const bool downloaded = m_recorder->count("downloaded " + remote) == 1;
    const bool failed = m_recorder->count("error Could Not Download File") == 1;
    EXPECT_NE(downloaded, failed) << m_queue->logController()->transcript()
                                  << testing::PrintToString(m_recorder->events());
    if (downloaded) {
        EXPECT_EQ(readFile(local).size(), bytes.size()) << m_queue->logController()->transcript();
        EXPECT_EQ(readFile(local) == bytes, true);
    } else {
        EXPECT_FALSE(exists(local));
    }
    EXPECT_EQ(leftovers(m_local.path(), ".halvet-partial"), 0);
    EXPECT_EQ(zombieChildren(), std::vector<pid_t>{});
}

TEST_P(HVRemoteFilesQueueCutOffTest, AnUploadCutOffIsNeverReportedDone) {
    const HVRemoteProtocol type = GetParam().type;
    const std::string& bytes = bigContent();
    const std::string local = m_local.write("big.bin", bytes);
    const std::string remote = remoteRoot(type) + "/big.bin";
    const std::string onServer = localRoot(type) + "/big.bin";
    cutOffDuring([&](HVRemoteFilesQueue& queue) { queue.uploadFile(local, remote); },
                 [&] {
                     struct stat info {};
                     return ::stat(onServer.c_str(), &info) == 0 && info.st_size > 0;
                 });
    if (HasFatalFailure())
        return;
    const bool uploaded = m_recorder->count("uploaded " + remote) == 1;
    const bool failed = m_recorder->count("error Could Not Upload File") == 1;
    EXPECT_NE(uploaded, failed) << m_queue->logController()->transcript()
                                << testing::PrintToString(m_recorder->events());
    if (uploaded) {
        EXPECT_EQ(readFile(onServer).size(), bytes.size())
            << m_queue->logController()->transcript();
        EXPECT_EQ(readFile(onServer) == bytes, true);
    }
    EXPECT_EQ(zombieChildren(), std::vector<pid_t>{});
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
    HVLoopbackProxy proxy(serverPort(type));
    auto queue = makeQueue(type, 30);
    queue->connect(server(type, &proxy));
    ASSERT_TRUE(connected(*queue));
    const pid_t client = queue->connection()->pid();
    proxy.pause();
    queue->downloadFile(remote, m_local.pathFor("slow.bin"));
    ASSERT_TRUE(waitFor([&] { return m_recorder->sawStatus("Downloading \"slow.bin\""); }, 5));

    const auto started = Clock::now();
    queue.reset();
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
    EXPECT_FALSE(processExists(client));
    EXPECT_FALSE(exists(m_local.pathFor("slow.bin")));
    EXPECT_EQ(zombieChildren(), std::vector<pid_t>{});
}

TEST_F(HVRemoteFilesQueueTest, ConnectingAgainRightAfterACredentialsFailureLogsIn) {
    // What an owner does when it answers: asks for the password and connects at once, while
    // the refused client is still on its way out (ftp stays at its prompt after a refusal).
    for (const auto type : {HVRemoteProtocol::FTP}) {
        m_recorder->answersCredentials = true;
        auto queue = makeQueue(type, 10);
        queue->connect(server(type, nullptr, "not-the-password"));
        ASSERT_TRUE(waitFor([&] { return m_recorder->count("credentials") == 1; }, 15));
        queue->connect(server(type));
        queue->getFileListing(remoteRoot(type));
        EXPECT_TRUE(
            waitFor([&] { return m_recorder->count("listed " + remoteRoot(type)) == 1; }, 15))
            << queue->logController()->transcript() << testing::PrintToString(m_recorder->events());
        EXPECT_EQ(m_recorder->count("opened"), 1);
    }
}
