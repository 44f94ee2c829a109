#include "HVInteractiveTask.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace {

struct Command {
    std::vector<std::string> lines;
    bool hadError = false;
};

// Keeps what the task hands back, for the test thread to wait on.
class Recorder : public HVInteractiveTaskDelegate {
public:
    explicit Recorder(bool expectsInput = false) : m_expectsInput(expectsInput) {}

    void finishedCommand(HVInteractiveTask&, const std::vector<std::string>& lines,
                         bool hadError) override {
        std::lock_guard lock(m_mutex);
        m_commands.push_back({lines, hadError});
        m_changed.notify_all();
    }
    bool shouldExpectInput(HVInteractiveTask&) override { return m_expectsInput; }

    // The commands once there are at least count of them, or all there are after a generous
    // wait.
    std::vector<Command> waitFor(std::size_t count, double seconds = 10) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::duration<double>(seconds),
                           [&] { return m_commands.size() >= count; });
        return m_commands;
    }
    std::vector<Command> commands() {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }

private:
    const bool m_expectsInput;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Command> m_commands;
};

// A python client written for the test: out() writes raw bytes, line() reads a typed line.
std::string writeClient(const HVTemporaryDirectory& directory, std::string_view body) {
    std::string text = "import os, sys, time, select\n"
                       "def out(b): os.write(1, b)\n"
                       "def line(): return sys.stdin.buffer.readline()\n";
    text += body;
    return directory.write("client.py", text);
}

std::unique_ptr<HVInteractiveTask> makeTask(const std::string& client) {
    auto task = std::make_unique<HVInteractiveTask>("/usr/bin/python3");
    task->setArguments({client});
    task->setPrompt("ftp>");
    return task;
}

// The task running the client, answering to the recorder.
std::unique_ptr<HVInteractiveTask> launch(const HVTemporaryDirectory& directory,
                                          std::string_view client,
                                          const std::shared_ptr<Recorder>& recorder) {
    auto task = makeTask(writeClient(directory, client));
    task->setWorkingDirectory(directory.path());
    task->setEnvironment({"HV_WORD=halvet"});
    task->setDelegate(recorder);
    HVError error;
    EXPECT_TRUE(task->launch(&error)) << error.fullDescription();
    return task;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(HVInteractiveTask, CutsOutputAtThePrompt) {
    struct Case {
        const char* name;
        std::string client;
        Lines expected;
        bool expectsInput = false;
    };
    const std::string password = "out(b'Password:')\ntime.sleep(0.5)\nout(b' later\\nftp> ')\n";
    const Case cases[] = {
        {"reply then prompt", "out(b'230 Ready\\nftp> ')\nline()\n", {"230 Ready"}},
        {"bare line feeds",
         "import termios\na = termios.tcgetattr(1)\na[1] &= ~termios.ONLCR\n"
         "termios.tcsetattr(1, termios.TCSANOW, a)\nout(b'one\\ntwo\\nftp> ')\nline()\n",
         {"one", "two"}},
        {"prompt split across writes",
         "out(b'hello\\nft')\ntime.sleep(0.3)\nout(b'p> ')\nline()\n",
         {"hello"}},
        {"prompt behind readline's escapes",
         "out(b'ok\\n\\x1b[?2004l\\x1b[?2004hftp> ')\nline()\n",
         {"ok"}},
        {"character split across writes",
         "out(b'caf\\xc3')\ntime.sleep(0.3)\nout(b'\\xa9\\nftp> ')\nline()\n",
         {"caf\xc3\xa9"}},
        {"invalid UTF-8 read as Mac OS Roman",
         "out(b'caf\\x8e \\xe2\\x82\\xac \\xa5\\nftp> ')\nline()\n",
         {"caf\xc3\xa9 \xe2\x82\xac \xe2\x80\xa2"}},
        // An input request ends a command only when the delegate expects input.
        {"input request expected", password + "line()\n", {"Password:"}, true},
        {"input request not expected", password + "line()\n", {"Password: later"}, false},
        // tnftp writes "ftp: " and the rest of an error a moment apart: not a question.
        {"first piece of an error",
         "out(b'ftp: ')\ntime.sleep(0.01)\nout(b'connect: Connection refused\\nftp> ')\nline()\n",
         {"ftp: connect: Connection refused"},
         true},
    };
    for (const Case& c : cases) {
        HVTemporaryDirectory directory;
        auto recorder = std::make_shared<Recorder>(c.expectsInput);
        auto task = launch(directory, c.client, recorder);
        const auto commands = recorder->waitFor(1);
        ASSERT_EQ(commands.size(), 1u) << c.name;
        EXPECT_EQ(commands[0].lines, c.expected) << c.name;
        EXPECT_FALSE(commands[0].hadError) << c.name;
    }
}

TEST(HVInteractiveTask, ReportsPendingOutputWhenTheChildExits) {
    HVTemporaryDirectory directory;
    struct Case {
        std::string client;
        std::size_t reports;
        Lines lines;
        int exitStatus;
    };
    const Case cases[] = {
        {"sys.exit(0)\n", 0, {}, 0},
        {"out(b'word')\nsys.exit(2)\n", 1, {"word"}, 2},
        {"out(b'a\\nb')\n", 1, {"a", "b"}, 0},
        // The child runs in its folder with its environment.
        {"out(os.getcwd().encode() + b' ' + os.environ['HV_WORD'].encode())\n",
         1,
         {directory.path() + " halvet"},
         0},
    };
    for (const Case& c : cases) {
        auto recorder = std::make_shared<Recorder>();
        auto task = launch(directory, c.client, recorder);
        ASSERT_TRUE(task->waitUntilExit(10)) << c.client;
        const auto commands = recorder->commands();
        ASSERT_EQ(commands.size(), c.reports) << c.client;
        if (c.reports) {
            EXPECT_EQ(commands[0].lines, c.lines) << c.client;
            EXPECT_EQ(commands[0].hadError, c.exitStatus != 0) << c.client;
        }
        EXPECT_EQ(task->exitStatus(), c.exitStatus) << c.client;
        EXPECT_EQ(task->pid(), 0) << c.client;
    }
}

TEST(HVInteractiveTask, TypesAndInterruptsAtThePrompt) {
    struct Case {
        const char* name;
        std::string client;
        std::function<void(HVInteractiveTask&)> act;
        // The commands after the first prompt.
        std::vector<Lines> expected;
    };
    const Case cases[] = {
        // The terminal echoes the line before the child's answer.
        {"byte for byte",
         "out(b'ftp> ')\nout(line().hex().encode() + b'\\nftp> ')\nline()\n",
         [](HVInteractiveTask& task) { task.writeCommand("put caf\xc3\xa9 \xc3\x85.txt"); },
         {{"put caf\xc3\xa9 \xc3\x85.txt", "70757420636166c3a920c3852e7478740a"}}},
        // Each answer tells whether the next line had already been typed while this one ran.
        {"the next command only after the prompt",
         "out(b'ftp> ')\n"
         "while True:\n"
         "    l = line().strip()\n"
         "    if not l: break\n"
         "    time.sleep(0.3)\n"
         "    r = select.select([0], [], [], 0)[0]\n"
         "    out(l + (b' early' if r else b' alone') + b'\\nftp> ')\n",
         [](HVInteractiveTask& task) {
             task.writeCommand("one");
             task.writeCommand("two");
         },
         {{"one", "one alone"}, {"two", "two alone"}}},
        {"cancel interrupts the child",
         "try:\n"
         "    out(b'ftp> ')\n"
         "    time.sleep(30)\n"
         "except KeyboardInterrupt:\n"
         "    out(b'interrupted\\nftp> ')\n"
         "line()\n",
         [](HVInteractiveTask& task) { task.cancel(); },
         {{"interrupted"}}},
    };
    for (const Case& c : cases) {
        HVTemporaryDirectory directory;
        auto recorder = std::make_shared<Recorder>();
        auto task = launch(directory, c.client, recorder);
        ASSERT_EQ(recorder->waitFor(1).size(), 1u) << c.name;
        c.act(*task);
        const auto commands = recorder->waitFor(1 + c.expected.size());
        ASSERT_EQ(commands.size(), 1 + c.expected.size()) << c.name;
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(commands[1 + i].lines, c.expected[i]) << c.name;
    }
}

TEST(HVInteractiveTask, LaunchFailsWithTheSystemsReason) {
    struct Case {
        std::string program;
        std::string directory;
        std::string description;
    };
    const Case cases[] = {
        {"/nonexistent/x", "", "Cannot start \"/nonexistent/x\": No such file or directory"},
        {"/bin/sh", "/nonexistent/folder",
         "Cannot change to the folder \"/nonexistent/folder\": No such file or directory"},
    };
    for (const Case& c : cases) {
        HVInteractiveTask task(c.program);
        task.setWorkingDirectory(c.directory);
        HVError error;
        EXPECT_FALSE(task.launch(&error));
        EXPECT_EQ(error.description(), c.description);
        EXPECT_EQ(error.code(), ENOENT);
        EXPECT_EQ(task.pid(), 0);
    }
}

namespace {

// Destroys its task from inside the task's own call.
class Destroyer : public HVInteractiveTaskDelegate {
public:
    explicit Destroyer(std::unique_ptr<HVInteractiveTask>& task) : m_task(task) {}
    void finishedCommand(HVInteractiveTask&, const std::vector<std::string>&, bool) override {
        m_task.reset();
    }

private:
    std::unique_ptr<HVInteractiveTask>& m_task;
};

} // namespace

TEST(HVInteractiveTaskDeathTest, DestroyedFromItsOwnDelegateCallStopsWithAMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    HVTemporaryDirectory directory;
    const std::string client = writeClient(directory, "out(b'ftp> ')\nline()\n");
    EXPECT_DEATH(
        {
            auto task = makeTask(client);
            auto destroyer = std::make_shared<Destroyer>(task);
            task->setDelegate(destroyer);
            task->launch();
            ::sleep(10);
        },
        "destroyed from its own reading thread");
}
