#include "HVFileSystem.h"
#include "HVFileTreeTestSupport.h"
#include "HVLoopbackProxy.h"
#include "HVRemoteFileRepresentation.h"
#include "HVRemoteFilesQueue.h"
#include "HVRemoteLogController.h"
#include "HVRootFile.h"
#include "HVTestServers.h"
#include "HVTestSupport.h"
#include "HVUploadList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

// A combined project (a folder on disk and the same folder on a server) against the real
// servers on 127.0.0.1, through the real clients.

namespace {

// Errors of the queue, which the window would show, and a hook on the queue's thread for
// tests that make faults at a given moment.
class QueueErrors : public HVRemoteFilesQueueDelegate {
public:
    void hadError(HVRemoteFilesQueue&, const HVError& error) override {
        std::lock_guard lock(m_mutex);
        m_errors.push_back(error.description());
    }
    void setStatus(HVRemoteFilesQueue&, const std::string& status, bool) override {
        if (onStatus)
            onStatus(status);
    }
    std::vector<std::string> errors() const {
        std::lock_guard lock(m_mutex);
        return m_errors;
    }
    std::function<void(const std::string&)> onStatus;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_errors;
};

class HVFileTreeRemoteTest : public ::testing::TestWithParam<HVRemoteProtocol> {
protected:
    void SetUp() override {
        m_servers = HVTestServers::shared();
        ASSERT_TRUE(m_servers);
        HVUploadList::sharedInstance().reset();
        m_name =
            std::string("tree-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(m_name.begin(), m_name.end(), '/', '-');
        const bool ftp = GetParam() == HVRemoteProtocol::FTP,
                   sftp = GetParam() == HVRemoteProtocol::SFTP;
        m_port = ftp ? m_servers->ftpPort : sftp ? m_servers->sftpPort : m_servers->davPort;
        m_serverFolder = (ftp    ? m_servers->ftpRoot
                          : sftp ? m_servers->sftpRoot
                                 : m_servers->davRoot) +
                         "/" + m_name;
        // Paths from the root are relative to the site's folder.
        m_remoteRoot = ftp || sftp ? m_serverFolder : "/dav/" + m_name;
        ::mkdir(m_serverFolder.c_str(), 0755);
        own(m_serverFolder);
    }
    void TearDown() override {
        m_root.reset();
        m_queue.reset();
        std::error_code ignored;
        if (m_servers)
            std::filesystem::remove_all(m_serverFolder, ignored);
    }

    // Where the server keeps a file of the project's folder, as a local path.
    std::string serverPath(const std::string& relative) const {
        return m_serverFolder + "/" + relative;
    }
    // Files on the server belong to its user, as if that user had put them there.
    static void own(const std::string& path) {
        struct stat info {};
        if (::stat(HVFileSystem::deletingLastPathComponent(path).c_str(), &info) == 0)
            (void)::chown(path.c_str(), info.st_uid, info.st_gid);
    }
    void serverFile(const std::string& relative, const std::string& bytes) {
        const std::string path = serverPath(relative);
        HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path), 0755);
        own(HVFileSystem::deletingLastPathComponent(path));
        std::ofstream(path, std::ios::binary) << bytes;
        ::chmod(path.c_str(), 0644);
        own(path);
    }

    // The project open in a window: the disk's folder, the server's through the queue, with
    // a proxy between them for tests that cut the connection.
    void openProject(double stallTimeout = 10, bool proxied = false) {
        HVRemoteServer server;
        server.host = "127.0.0.1";
        server.user = m_servers->user;
        server.password = m_servers->password;
        server.port = proxied ? m_proxy.emplace(m_port).port() : m_port;
        if (GetParam() == HVRemoteProtocol::WebDAV)
            server.webDAVPath = "/dav/";
        if (GetParam() == HVRemoteProtocol::SFTP) {
            std::string knownHosts = HVReadFile(m_servers->knownHosts);
            const std::string from = "]:" + std::to_string(m_port);
            if (const auto at = knownHosts.find(from); at != std::string::npos)
                knownHosts.replace(at, from.size(), "]:" + std::to_string(server.port));
            server.arguments = {"-oUserKnownHostsFile=" +
                                    m_private.write("known_hosts", knownHosts),
                                "-oStrictHostKeyChecking=yes", "-oPubkeyAuthentication=no"};
        }
        m_queue = std::make_shared<HVRemoteFilesQueue>(GetParam(), m_queueErrors);
        m_queue->setStallTimeout(stallTimeout);
        m_queue->setClientEnvironment({"LANG=C.UTF-8"});
        m_queue->setInitialWorkingDirectory(m_remoteRoot);
        m_queue->connect(server);
        // A reconnect goes to the site's folder again.
        m_queue->changeToDirectory(m_remoteRoot);
        m_root = HVRootFile::initWithPath(m_local.path(), false);
        m_root->setDelegate(m_delegate);
        // The window shows the disk's side before the project's queue is given: the listed
        // folders are listed again through it.
        m_root->children(true);
        m_root->setRemoteQueue(m_queue);
    }
    std::string transcript() const {
        return m_queue ? m_queue->logController()->transcript() : std::string();
    }
    bool settled(const std::shared_ptr<HVFile>& node) {
        return HVPumpUntil([&] { return !node->hasPendingOperation(); }, 40);
    }

    const HVTestServerInfo* m_servers = nullptr;
    std::string m_name, m_serverFolder, m_remoteRoot;
    int m_port = 0;
    HVTemporaryDirectory m_local;
    HVTemporaryDirectory m_private;
    std::shared_ptr<QueueErrors> m_queueErrors = std::make_shared<QueueErrors>();
    std::shared_ptr<HVRecordingFileDelegate> m_delegate =
        std::make_shared<HVRecordingFileDelegate>();
    std::optional<HVLoopbackProxy> m_proxy;
    std::shared_ptr<HVRemoteFilesQueue> m_queue;
    std::shared_ptr<HVRootFile> m_root;
};

using HVFileTreeCombinedTest = HVFileTreeRemoteTest;
using HVFileTreeUploadTest = HVFileTreeRemoteTest;
using HVFileTreeCutOffTest = HVFileTreeRemoteTest;

} // namespace

// Both sides merge by name; a file on both sides is renamed, moved and deleted on both.
TEST_P(HVFileTreeCombinedTest, RenameMoveAndDeleteReachBothSides) {
    m_local.write("both.txt", "same");
    m_local.write("mine.txt", "local");
    m_local.write("d/keep.txt", "k");
    serverFile("both.txt", "same");
    serverFile("theirs.txt", "remote");
    serverFile("site.hvproj", "hidden");
    serverFile("d/keep.txt", "k");
    openProject();
    ASSERT_TRUE(HVPumpUntil([&] {
        return HVDumpTree(*m_root, true) == "both.txt d mine.txt:L theirs.txt:R";
    })) << HVDumpTree(*m_root, true)
        << transcript();

    auto node = m_root->childWithName("both.txt", false);
    node->rename("renamed.txt");
    ASSERT_TRUE(settled(node)) << transcript();
    EXPECT_EQ(HVDumpTree(*m_root, true), "d mine.txt:L renamed.txt theirs.txt:R");
    EXPECT_EQ(HVReadFile(serverPath("renamed.txt")), "same");
    EXPECT_EQ(HVReadFile(m_local.pathFor("renamed.txt")), "same");
    EXPECT_FALSE(HVFileSystem::exists(serverPath("both.txt")));

    auto folder = m_root->childWithName("d", false);
    ASSERT_TRUE(node->moveToFile(folder));
    // The disk's copy moves at once, the server's later: a second move must wait.
    EXPECT_FALSE(node->moveToFile(m_root));
    ASSERT_TRUE(settled(node)) << transcript();
    ASSERT_TRUE(HVPumpUntil([&] {
        return HVDumpTree(*m_root, true) == "d(keep.txt renamed.txt) mine.txt:L theirs.txt:R";
    })) << HVDumpTree(*m_root, true);
    EXPECT_EQ(HVReadFile(serverPath("d/renamed.txt")), "same");
    EXPECT_EQ(HVReadFile(m_local.pathFor("d/renamed.txt")), "same");

    node->remove();
    ASSERT_TRUE(settled(node)) << transcript();
    EXPECT_EQ(HVDumpTree(*m_root, true), "d(keep.txt) mine.txt:L theirs.txt:R");
    EXPECT_FALSE(HVFileSystem::exists(serverPath("d/renamed.txt")));
    EXPECT_FALSE(HVFileSystem::exists(m_local.pathFor("d/renamed.txt")));
    EXPECT_EQ(m_queueErrors->errors(), std::vector<std::string>{});
}

// The server refuses the rename (its copy went away behind the tree's back): the disk keeps
// the old name and the node keeps both sides under it.
TEST_P(HVFileTreeCombinedTest, ARenameTheServerRefusesChangesNothing) {
    m_local.write("page.html", "p");
    serverFile("page.html", "p");
    openProject();
    ASSERT_TRUE(HVPumpUntil([&] { return HVDumpTree(*m_root, true) == "page.html"; }))
        << transcript();
    ::unlink(serverPath("page.html").c_str());

    auto node = m_root->childWithName("page.html", false);
    node->rename("other.html");
    ASSERT_TRUE(settled(node)) << transcript();
    EXPECT_EQ(HVDumpTree(*m_root, true), "page.html");
    EXPECT_TRUE(HVFileSystem::exists(m_local.pathFor("page.html")));
    EXPECT_FALSE(HVFileSystem::exists(m_local.pathFor("other.html")));
    EXPECT_EQ(m_queueErrors->errors().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(OverSFTP, HVFileTreeCombinedTest,
                         ::testing::Values(HVRemoteProtocol::SFTP));

// A save uploads into folders the server does not have yet; the document waits for it.
TEST_P(HVFileTreeUploadTest, ASaveUploadsAndTheDocumentHearsOnlyWhenItFinished) {
    m_local.write("sub/deeper/page.html", "old");
    m_delegate->uploads = true;
    openProject();
    auto node = m_root->addFileAtPath(m_local.pathFor("sub/deeper/page.html"));
    ASSERT_TRUE(settled(node)) << transcript();
    HVUploadList::sharedInstance().reset();

    HVRecordingDocument document;
    node->setDocument(&document);
    m_local.write("sub/deeper/page.html", "new bytes");
    node->contentsDidChange();
    EXPECT_EQ(document.count("change finished"), 0);
    ASSERT_TRUE(HVPumpUntil([&] { return document.count("change finished") == 1; }, 40))
        << transcript();
    EXPECT_EQ(HVReadFile(serverPath("sub/deeper/page.html")), "new bytes");
    const auto entries = HVUploadList::sharedInstance().entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, "sub/deeper/page.html");
    EXPECT_EQ(entries[0].site, m_local.path());
    EXPECT_EQ(entries[0].state, HVUploadList::State::Finished);
}

// The connection is cut during the upload and the upload stalls on every new one: it fails
// with a reason, the document keeps waiting, and Retry succeeds once the server
// answers again.
TEST_P(HVFileTreeCutOffTest, AnUploadCutOffIsListedAsFailedAndRetrySucceeds) {
    m_local.write("page.html", "saved");
    m_delegate->uploads = true;
    openProject(1.5, true);
    ASSERT_TRUE(HVPumpUntil([&] { return m_queue->waitUntilIdle(0.1); }, 20)) << transcript();
    auto node = m_root->childWithName("page.html", false);
    ASSERT_TRUE(node);
    HVRecordingDocument document;
    node->setDocument(&document);

    // Each new connection logs in and goes to the site's folder; the upload then stalls.
    std::atomic<bool> faulty{true};
    m_queueErrors->onStatus = [&](const std::string& status) {
        if (!faulty)
            return;
        if (status == "Connecting")
            m_proxy->resume();
        else if (status.starts_with("Uploading"))
            m_proxy->pause();
    };
    m_proxy->pause();
    m_proxy->dropConnections();
    node->contentsDidChange();
    ASSERT_TRUE(HVPumpUntil(
        [&] {
            const auto entries = HVUploadList::sharedInstance().entries();
            return !entries.empty() && entries[0].state == HVUploadList::State::Failed;
        },
        60))
        << transcript();
    const auto failed = HVUploadList::sharedInstance().entries()[0];
    ASSERT_TRUE(failed.error);
    EXPECT_NE(failed.error->description(), "");
    EXPECT_EQ(document.count("change finished"), 0);

    faulty = false;
    m_proxy->resume();
    HVUploadList::sharedInstance().retry(failed.identifier);
    ASSERT_TRUE(HVPumpUntil([&] { return document.count("change finished") == 1; }, 60))
        << transcript();
    EXPECT_EQ(HVReadFile(serverPath("page.html")), "saved");
    ASSERT_TRUE(HVUploadList::sharedInstance().entry(failed.identifier));
    EXPECT_EQ(HVUploadList::sharedInstance().entry(failed.identifier)->state,
              HVUploadList::State::Finished);
}

INSTANTIATE_TEST_SUITE_P(EachProtocol, HVFileTreeUploadTest,
                         ::testing::Values(HVRemoteProtocol::FTP, HVRemoteProtocol::SFTP,
                                           HVRemoteProtocol::WebDAV),
                         [](const auto& info) {
                             return std::string(HVRemoteProtocolName(info.param));
                         });

// Cancel takes a waiting upload out of the queue: it never reaches the server, and its
// document stops waiting, while the upload in front of it goes on.
TEST_P(HVFileTreeCutOffTest, ACancelledUploadLeavesTheQueueAndLetsItsDocumentGo) {
    m_local.write("first.html", "1");
    m_local.write("second.html", "2");
    m_delegate->uploads = true;
    openProject(30, true);
    ASSERT_TRUE(HVPumpUntil([&] { return m_queue->waitUntilIdle(0.1); }, 20)) << transcript();
    auto first = m_root->childWithName("first.html", false);
    auto second = m_root->childWithName("second.html", false);
    HVRecordingDocument firstDocument;
    HVRecordingDocument secondDocument;
    first->setDocument(&firstDocument);
    second->setDocument(&secondDocument);

    m_proxy->pause();
    first->contentsDidChange();
    second->contentsDidChange();
    const auto entries = HVUploadList::sharedInstance().entries();
    ASSERT_EQ(entries.size(), 2u);
    HVUploadList::sharedInstance().cancel(entries[1].identifier);
    EXPECT_EQ(secondDocument.events, (std::vector<std::string>{"change finished"}));

    m_proxy->resume();
    ASSERT_TRUE(HVPumpUntil([&] { return firstDocument.count("change finished") == 1; }, 40))
        << transcript();
    ASSERT_TRUE(m_queue->waitUntilIdle(20));
    EXPECT_EQ(HVReadFile(serverPath("first.html")), "1");
    EXPECT_FALSE(HVFileSystem::exists(serverPath("second.html")));
}

INSTANTIATE_TEST_SUITE_P(OverSFTP, HVFileTreeCutOffTest, ::testing::Values(HVRemoteProtocol::SFTP));
