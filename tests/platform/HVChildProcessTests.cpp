#include "HVChildProcess.h"
#include "HVTestSupport.h"

#include <csignal>
#include <gtest/gtest.h>

TEST(HVChildProcess, PassesInputAndCollectsBothOutputs) {
    HVChildProcess::Options options;
    options.arguments = {"/bin/sh", "-c", "tr a-z A-Z; echo problem >&2; exit 3"};
    options.standardInput = "hello\n";
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->standardOutput, "HELLO\n");
    EXPECT_EQ(result->standardError, "problem\n");
    EXPECT_EQ(result->exitStatus, 3);
    EXPECT_FALSE(result->succeeded());
}

TEST(HVChildProcess, LargeInputAndOutputDoNotDeadlock) {
    // Far more than a pipe holds, in both directions at once.
    std::string input(8 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < input.size(); i += 100)
        input[i] = '\n';
    HVChildProcess::Options options;
    options.arguments = {"cat"};
    options.standardInput = input;
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->standardOutput.size(), input.size());
    EXPECT_TRUE(result->standardOutput == input);
    EXPECT_TRUE(result->succeeded());
}

TEST(HVChildProcess, AChildThatIgnoresItsInputDoesNotKillUs) {
    HVChildProcess::Options options;
    options.arguments = {"/bin/true"};
    options.standardInput = std::string(4 * 1024 * 1024, 'y');
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 0);
}

TEST(HVChildProcess, EnvironmentAndWorkingDirectory) {
    HVTemporaryDirectory dir;
    HVChildProcess::Options options;
    options.arguments = {"/bin/sh", "-c", "pwd; echo \"$HALVET_X\"; echo \"${HOME:-unset}\""};
    options.environment = std::vector<std::string>{"HALVET_X=42", "PATH=/usr/bin:/bin"};
    options.workingDirectory = dir.path();
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->standardOutput, dir.path() + "\n42\nunset\n");
}

TEST(HVChildProcess, TimeLimitKillsTheChildAndWhatItStarted) {
    HVChildProcess::Options options;
    options.arguments = {"/bin/sh", "-c", "sleep 30 & sleep 30; echo never"};
    options.timeLimit = 0.3;
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->timedOut);
    EXPECT_EQ(result->terminationSignal, SIGKILL);
    EXPECT_EQ(result->standardOutput, "");
}

TEST(HVChildProcess, AMissingProgramIsAnError) {
    HVChildProcess::Options options;
    options.arguments = {"/nonexistent/halvet-no-such-program"};
    HVError error;
    EXPECT_FALSE(HVChildProcess::run(options, &error));
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_NE(error.description().find("halvet-no-such-program"), std::string::npos);
}

TEST(HVChildProcess, ChildrenGetTheDefaultBrokenPipeSignal) {
    // We ignore SIGPIPE ourselves; a child must not inherit that, or `yes | head` never ends.
    HVChildProcess::Options options;
    options.arguments = {"/bin/sh", "-c", "yes | head -n 2"};
    options.timeLimit = 10;
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->timedOut);
    EXPECT_EQ(result->standardOutput, "y\ny\n");
}
