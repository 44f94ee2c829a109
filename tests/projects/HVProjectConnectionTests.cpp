// A project connecting to the real test servers with a password from the real secret store.

#include "HVDispatcher.h"
#include "HVProject.h"
#include "HVProjectDelegate.h"
#include "HVProjectTestEnvironment.h"
#include "HVRemoteFilesQueue.h"
#include "HVRemoteLogController.h"
#include "HVTestServers.h"

#include <gtest/gtest.h>

namespace {

// What the project told its window, and whether every call came on the main thread.
class RecordingDelegate : public HVProjectDelegate {
public:
    void setStatusString(HVProject&, const std::string& status) override {
        note("status " + status);
    }
    void didConnectToRemoteSite(HVProject&, bool connected) override {
        note(connected ? "connected" : "not connected");
        answered = true;
    }
    void needsRemoteCredentials(HVProject&) override { note("credentials"); }
    void closedRemoteConnection(HVProject&) override { note("closed"); }

    bool saw(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    std::vector<std::string> events;
    bool answered = false;
    bool offMainThread = false;

private:
    void note(std::string event) {
        if (!HVDispatcher::main().isMainThread())
            offMainThread = true;
        events.push_back(std::move(event));
    }
};

struct ConnectionCase {
    const char* name;
    int protocol;
    bool rightPassword;
};

class ProjectConnection : public ::testing::TestWithParam<ConnectionCase> {};

TEST_P(ProjectConnection, ReportsTheOutcomeOnTheMainThread) {
    const ConnectionCase& c = GetParam();
    const HVTestServerInfo* servers = HVTestServers::shared();
    ASSERT_NE(servers, nullptr);
    HVProjectTestEnvironment environment;
    environment.setUseSharedLocation(false);
    auto project = HVProject::initWithRootDirectory(environment.directory("site"));
    {
        HVProjectRemoteConfiguration config;
        config.setHost("127.0.0.1");
        config.setUser(servers->user);
        config.setProtocol(c.protocol);
        config.setPort(HVPlistValue(c.protocol == 2 ? servers->davPort : servers->ftpPort));
        // WebDAV opens this collection; the port is the server's own.
        if (c.protocol == 2)
            config.setInitialDirectory("dav");
        config.setPassword(c.rightPassword ? servers->password : "wrong-password");
        project->setRemoteConfig(config);
        // The password reaches the queue only through the secret store.
        ASSERT_TRUE(project->commit(true));
    }
    project->remoteConfig().setPassword(std::nullopt);

    auto delegate = std::make_shared<RecordingDelegate>();
    project->setDelegate(delegate);
    project->connectToRemoteSite();
    ASSERT_NE(project->remoteQueue(), nullptr);
    ASSERT_TRUE(HVDispatcher::main().runUntil([&] { return delegate->answered; }, 60))
        << project->remoteQueue()->logController()->transcript();

    EXPECT_FALSE(delegate->offMainThread);
    EXPECT_EQ(project->hasRemoteConnection(), c.rightPassword);
    EXPECT_TRUE(delegate->saw(c.rightPassword ? "connected" : "not connected"));
    EXPECT_TRUE(delegate->saw(c.rightPassword ? "status Connected" : "status Failed to connect"));
    EXPECT_EQ(delegate->saw("credentials"), !c.rightPassword);

    project->close();
    EXPECT_EQ(project->remoteQueue(), nullptr);
    EXPECT_EQ(project->delegate(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Projects, ProjectConnection,
                         ::testing::Values(ConnectionCase{"FTP", 0, true},
                                           ConnectionCase{"FTPWrongPassword", 0, false},
                                           ConnectionCase{"WebDAVCollection", 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
