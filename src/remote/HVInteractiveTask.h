#pragma once

#include "HVError.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

class HVInteractiveTask;
class HVPseudoTerminal;

// Receives a task's output. Called on the task's reading thread; hand other work on yourself.
class HVInteractiveTaskDelegate {
public:
    virtual ~HVInteractiveTaskDelegate() = default;
    // Everything the child printed for one command, without line ends and without the prompt.
    // hadError is set only for the output pending when the child exited with a non-zero status.
    virtual void finishedCommand(HVInteractiveTask& /*task*/,
                                 const std::vector<std::string>& /*lines*/, bool /*hadError*/) {}
    // Whether a line ending in ":" or ": " asks for input (and so finishes the command).
    // Not answered: no.
    virtual bool shouldExpectInput(HVInteractiveTask& /*task*/) { return false; }
};

// Runs any program on a pseudo-terminal, types command lines into it and hands back its output
// one command at a time: everything printed between a command and the next prompt (or input
// request). Runs once. Must not be destroyed from inside its delegate's calls (that aborts with
// a message): the destructor joins the thread those calls come on.
class HVInteractiveTask {
public:
    explicit HVInteractiveTask(std::string executablePath);
    // Kills a child that still runs and waits for the reading thread.
    ~HVInteractiveTask();
    HVInteractiveTask(const HVInteractiveTask&) = delete;
    HVInteractiveTask& operator=(const HVInteractiveTask&) = delete;

    void setArguments(std::vector<std::string> arguments);
    // The text a prompt line begins with; none for programs without a prompt.
    void setPrompt(std::optional<std::string> prompt);
    void setWorkingDirectory(std::string directory);
    // "NAME=value" entries that replace or add to this process's environment for the child.
    void setEnvironment(std::vector<std::string> entries);
    void setDelegate(std::weak_ptr<HVInteractiveTaskDelegate> delegate);
    // Clears the delegate only if it is the one given.
    void clearDelegate(const HVInteractiveTaskDelegate* delegate);

    // Starts the child and its reading thread. False, with the system's reason, when the
    // pseudo-terminal cannot be made or the program cannot be started.
    bool launch(HVError* error = nullptr);
    // Queues a command line; it is typed once the commands before it have finished.
    bool writeCommand(std::string_view command);
    // SIGINT and SIGKILL to the child; nothing when none runs.
    void cancel();
    void kill();

    pid_t pid() const;
    // Waits until the child has been reaped and its last output delivered. False on time-out.
    bool waitUntilExit(double seconds);
    // The child's exit status once it has ended (-1 when a signal ended it).
    std::optional<int> exitStatus() const;

private:
    std::mutex m_delegateMutex;
    std::weak_ptr<HVInteractiveTaskDelegate> m_delegate;
    std::unique_ptr<HVPseudoTerminal> m_terminal;
};
