#include "HVRemoteFilesConnection.h"
#include "HVRemoteLogController.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Keeps what the connection tells its action, for the test thread to wait on.
class Recorder : public HVRemoteFilesConnectionDelegate {
public:
    explicit Recorder(bool needsInput = false) : m_needsInput(needsInput) {}

    void finishedCommand(HVRemoteFilesConnection&, const std::vector<std::string>& lines) override {
        std::lock_guard lock(m_mutex);
        m_commands.push_back(lines);
        m_changed.notify_all();
    }
    bool willNeedInput(HVRemoteFilesConnection&) override { return m_needsInput; }
    void timedOut(HVRemoteFilesConnection&) override {
        std::lock_guard lock(m_mutex);
        ++m_timeOuts;
        m_changed.notify_all();
    }
    void clientExited(HVRemoteFilesConnection&) override {
        std::lock_guard lock(m_mutex);
        ++m_exits;
        m_changed.notify_all();
    }

    // Waits generously until the condition holds on (commands, time-outs, exits).
    template <typename Condition> bool waitUntil(Condition condition, double seconds = 10) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::duration<double>(seconds),
                                  [&] { return condition(m_commands, m_timeOuts, m_exits); });
    }
    bool waitForCommands(std::size_t count) {
        return waitUntil([&](const auto& commands, int, int) { return commands.size() >= count; });
    }
    std::vector<std::vector<std::string>> commands() {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }
    int timeOuts() {
        std::lock_guard lock(m_mutex);
        return m_timeOuts;
    }
    int exits() {
        std::lock_guard lock(m_mutex);
        return m_exits;
    }

private:
    const bool m_needsInput;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::vector<std::string>> m_commands;
    int m_timeOuts = 0;
    int m_exits = 0;
};

std::string executableFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string self(path, length > 0 ? std::size_t(length) : 0);
    return self.substr(0, self.rfind('/'));
}

bool isRunning(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

// The WebDAV client is looked for beside our executable first: a stand-in there runs the
// python client each test writes.
class HVRemoteFilesConnectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string path = executableFolder() + "/cadaver";
        FILE* file = std::fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("#!/bin/sh\nexec /usr/bin/python3 \"$HALVET_TEST_CLIENT\" \"$@\"\n", file);
        std::fclose(file);
        ::chmod(path.c_str(), 0755);
    }
    static void TearDownTestSuite() { ::unlink((executableFolder() + "/cadaver").c_str()); }

    std::unique_ptr<HVRemoteFilesConnection> connect(std::string_view body,
                                                     std::shared_ptr<Recorder> recorder) {
        std::string text = "import os, sys, time\n"
                           "def out(b): os.write(1, b)\n"
                           "def line(): return sys.stdin.buffer.readline()\n";
        text += body;
        const std::string client = m_directory.write("client.py", text);
        auto connection = std::make_unique<HVRemoteFilesConnection>(HVRemoteProtocol::WebDAV);
        connection->setEnvironment({"HALVET_TEST_CLIENT=" + client, "LANG=C.UTF-8"});
        connection->setDelegate(recorder);
        connection->setLog(m_log);
        return connection;
    }

    HVTemporaryDirectory m_directory;
    std::shared_ptr<HVRemoteLogController> m_log = std::make_shared<HVRemoteLogController>();
};

} // namespace

TEST_F(HVRemoteFilesConnectionTest, RefusesLinesTheTerminalWouldMisread) {
    struct Case {
        std::string line;
        bool accepted;
    };
    const Case cases[] = {
        {"ls", true},
        {std::string(HVRemoteFilesConnection::maximumCommandLength, 'a'), true},
        {std::string(HVRemoteFilesConnection::maximumCommandLength + 1, 'a'), false},
        {"ls\nrm x", false},
        {"cd \x1b[A", false},
        {"del\x7f", false},
        {std::string("nul\0x", 5), false},
    };
    HVRemoteFilesConnection connection(HVRemoteProtocol::FTP);
    for (const Case& c : cases) {
        EXPECT_EQ(connection.writeCommand(c.line), c.accepted) << c.line.substr(0, 20);
        EXPECT_EQ(connection.writeSecret(c.line), c.accepted) << c.line.substr(0, 20);
    }
    connection.kill();
    EXPECT_FALSE(connection.writeCommand("ls"));
    EXPECT_FALSE(connection.writeSecret("pass"));
}

TEST_F(HVRemoteFilesConnectionTest, EnvironmentAndPromptReachTheClient) {
    auto recorder = std::make_shared<Recorder>();
    auto connection = connect("out(os.environ['TERM'].encode() + b' ' + "
                              "open(os.environ['INPUTRC'], 'rb').read().strip() + "
                              "b'\\n\\x1b[?2004hdav:/> ')\nline()\n",
                              recorder);
    HVError error;
    ASSERT_TRUE(connection->launch({}, &error)) << error.fullDescription();
    ASSERT_TRUE(recorder->waitForCommands(1));
    EXPECT_EQ(recorder->commands()[0],
              (std::vector<std::string>{"dumb set enable-bracketed-paste off"}));
    EXPECT_EQ(connection->state(), HVConnectionState::AtPrompt);
    EXPECT_EQ(m_log->transcript(), "dumb set enable-bracketed-paste off\n\\x1b[?2004hdav:/> ");
}

TEST_F(HVRemoteFilesConnectionTest, MasksASecretInTheLinesAndTheLog) {
    auto recorder = std::make_shared<Recorder>(true);
    // The secret comes back echoed, and printed in two pieces.
    auto connection = connect("out(b'Password: ')\n"
                              "p = line().strip()\n"
                              "out(b'you typed ' + p[:3])\n"
                              "time.sleep(0.3)\n"
                              "out(p[3:] + b'\\ndav:/> ')\n"
                              "line()\n",
                              recorder);
    ASSERT_TRUE(connection->launch({}));
    ASSERT_TRUE(recorder->waitForCommands(1));
    EXPECT_EQ(recorder->commands()[0], (std::vector<std::string>{"Password: "}));
    EXPECT_EQ(connection->state(), HVConnectionState::WaitingForInput);
    ASSERT_TRUE(connection->writeSecret("hunter2"));
    ASSERT_TRUE(recorder->waitForCommands(2));
    EXPECT_EQ(recorder->commands()[1],
              (std::vector<std::string>{"********", "you typed ********"}));
    const std::string transcript = m_log->transcript();
    EXPECT_EQ(transcript, "Password: ********\nyou typed ********\ndav:/> ");
    EXPECT_EQ(transcript.find("hun"), std::string::npos);
}

TEST_F(HVRemoteFilesConnectionTest, StalledCommandTimesOutAndTheClientIsReaped) {
    auto recorder = std::make_shared<Recorder>();
    auto connection =
        connect("out(b'dav:/> ')\nline()\nout(b'partial')\ntime.sleep(30)\n", recorder);
    connection->setStallTimeout(0.5);
    ASSERT_TRUE(connection->launch({}));
    ASSERT_TRUE(recorder->waitForCommands(1));
    const pid_t pid = connection->pid();
    // Idle at the prompt: no command waits, so no time-out.
    ::usleep(900000);
    EXPECT_EQ(recorder->timeOuts(), 0);
    EXPECT_FALSE(connection->hasTimedOut(0));
    ASSERT_TRUE(connection->writeCommand("get big"));
    ASSERT_TRUE(connection->waitUntilExit(10));
    EXPECT_EQ(recorder->timeOuts(), 1);
    EXPECT_EQ(recorder->exits(), 0);
    EXPECT_EQ(recorder->commands().size(), 1u);
    EXPECT_TRUE(connection->hasTimedOut(0));
    EXPECT_EQ(connection->pid(), 0);
    EXPECT_FALSE(isRunning(pid));
}

TEST_F(HVRemoteFilesConnectionTest, TimeOutCodesDependOnTheProtocol) {
    struct Case {
        HVRemoteProtocol protocol;
        int code;
        bool timedOut;
    };
    const Case cases[] = {
        {HVRemoteProtocol::FTP, 421, true},     {HVRemoteProtocol::FTP, 408, false},
        {HVRemoteProtocol::WebDAV, 408, true},  {HVRemoteProtocol::WebDAV, 504, true},
        {HVRemoteProtocol::WebDAV, 421, false}, {HVRemoteProtocol::SFTP, 421, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HVRemoteFilesConnection(c.protocol).hasTimedOut(c.code), c.timedOut) << c.code;
}

TEST_F(HVRemoteFilesConnectionTest, ClientKilledFromOutsideIsReportedAndCanBeLaunchedAgain) {
    auto recorder = std::make_shared<Recorder>();
    auto connection = connect("out(b'dav:/> ')\n"
                              "while True:\n"
                              "    l = line().strip()\n"
                              "    out(b'did ' + l + b'\\ndav:/> ')\n",
                              recorder);
    ASSERT_TRUE(connection->launch({}));
    ASSERT_TRUE(recorder->waitForCommands(1));
    const pid_t first = connection->pid();
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    ASSERT_TRUE(recorder->waitUntil([](const auto&, int, int exits) { return exits == 1; }));
    ASSERT_TRUE(connection->waitUntilExit(10));
    EXPECT_EQ(connection->pid(), 0);
    EXPECT_FALSE(isRunning(first));

    // Our own kill, with a command in flight, then a fresh client that takes commands at once.
    ASSERT_TRUE(connection->launch({}));
    ASSERT_TRUE(recorder->waitForCommands(2));
    ::kill(connection->pid(), SIGSTOP);
    ASSERT_TRUE(connection->writeCommand("stuck"));
    connection->kill();
    EXPECT_EQ(connection->state(), HVConnectionState::Killed);
    ASSERT_TRUE(connection->waitUntilExit(10));
    EXPECT_EQ(recorder->exits(), 2);
    // The terminal's echo of the stuck line came as the killed client's last output.
    const std::size_t before = recorder->commands().size();

    ASSERT_TRUE(connection->launch({}));
    EXPECT_EQ(connection->state(), HVConnectionState::Launched);
    ASSERT_TRUE(recorder->waitForCommands(before + 1));
    ASSERT_TRUE(connection->writeCommand("ls"));
    ASSERT_TRUE(recorder->waitForCommands(before + 2));
    EXPECT_EQ(recorder->commands().back(), (std::vector<std::string>{"ls", "did ls"}));
}

TEST_F(HVRemoteFilesConnectionTest, CloseEndsTheClientWithoutReportingAnExit) {
    const std::string clients[] = {
        "out(b'dav:/> ')\nwhile True:\n    line()\n    out(b'dav:/> ')\n",
        // Echo off and no answer to the empty line: close() sees no output at all.
        "import termios\n"
        "a = termios.tcgetattr(0)\n"
        "a[3] &= ~termios.ECHO\n"
        "termios.tcsetattr(0, termios.TCSANOW, a)\n"
        "out(b'dav:/> ')\n"
        "while True:\n"
        "    line()\n",
    };
    for (const std::string& client : clients) {
        auto recorder = std::make_shared<Recorder>();
        auto connection = connect(client, recorder);
        ASSERT_TRUE(connection->launch({}));
        ASSERT_TRUE(recorder->waitForCommands(1));
        const pid_t pid = connection->pid();
        connection->close();
        EXPECT_EQ(connection->state(), HVConnectionState::Closing);
        ASSERT_TRUE(connection->waitUntilExit(10));
        EXPECT_EQ(recorder->exits(), 0);
        EXPECT_FALSE(isRunning(pid));
    }
}
