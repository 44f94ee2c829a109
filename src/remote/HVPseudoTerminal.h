#pragma once

#include "HVError.h"
#include "HVRemoteProtocol.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

// The engine under HVInteractiveTask and HVRemoteFilesConnection: a child on a
// pseudo-terminal, one reading thread that cuts its output into commands at the prompt (or at
// an input request), and a queue that types one command line per finished command.
class HVPseudoTerminal {
public:
    struct Options {
        std::string program;
        std::vector<std::string> arguments;
        std::optional<std::string> prompt;
        std::string workingDirectory;
        // "NAME=value" entries over this process's environment.
        std::vector<std::string> environment;
    };

    // What the owner does with the output. All are called on the reading thread; any may be
    // empty.
    struct Hooks {
        std::function<void(const std::vector<std::string>& lines, bool hadError)> finishedCommand;
        std::function<bool()> expectsInput;
        // Decoded output with secrets masked, for a transcript.
        std::function<void(std::string_view text)> output;
        std::function<void()> timedOut;
        // The child has been reaped and its last output delivered (not after a time-out);
        // the state then (Closing when close() asked for the end).
        std::function<void(HVConnectionState state)> ended;
    };

    explicit HVPseudoTerminal(Hooks hooks);
    // Kills a child that still runs and joins the reading thread. Must not run on the reading
    // thread (from inside a hook): that aborts with a message.
    ~HVPseudoTerminal();
    HVPseudoTerminal(const HVPseudoTerminal&) = delete;
    HVPseudoTerminal& operator=(const HVPseudoTerminal&) = delete;

    // What the next launch uses.
    Options& settings() { return m_settings; }

    bool launch(const Options& options, HVError* error);
    // Queues a line; typed at once when nothing else is in flight, else after the next finished
    // command. A secret is remembered so that it is masked wherever it shows up.
    void writeCommand(std::string_view command, bool secret);
    void close();
    void kill();
    void cancel();

    // Zero or less: no stall detection.
    void setStallTimeout(double seconds);
    bool hasTimedOut() const { return m_timedOut.load(); }
    HVConnectionState state() const { return m_state.load(); }
    pid_t pid() const;
    bool waitUntilExit(double seconds);
    std::optional<int> exitStatus() const;

private:
    struct Command {
        std::string text;
        bool secret = false;
    };
    enum class Ending { EndOfOutput, Closing, TimedOut };

    void read();
    Ending readUntilEnd(std::vector<std::string>& lines, std::string& buffer);
    void takeLines(std::vector<std::string>& lines, std::string& buffer);
    bool moreOutputFollows() const;
    void finishCommand(std::vector<std::string>& lines, HVConnectionState reached);
    // Milliseconds until a command in flight counts as stalled; none when nothing waits.
    std::optional<long long> stallLeft() const;
    int reap(Ending ending);
    void typeLine(const std::string& line);
    void signalChild(int signal, bool wholeGroup);
    std::string masked(std::string text) const;
    void logOutput(std::string text, bool final);

    const Hooks m_hooks;
    Options m_settings;
    // The options of the running child; read by the reading thread only while it runs.
    Options m_options;

    std::atomic<HVConnectionState> m_state{HVConnectionState::NeverLaunched};
    std::atomic<bool> m_timedOut{false};
    std::atomic<long long> m_stallMilliseconds{0};
    std::atomic<long long> m_lastActivity{0};

    // The child's pid, 0 once reaped; signals are sent under this lock so that a reaped pid is
    // never signalled.
    mutable std::mutex m_pidMutex;
    pid_t m_pid = 0;
    std::optional<int> m_exitStatus;

    // Guards the master descriptor against closing while a line is typed.
    std::mutex m_writeMutex;
    int m_master = -1;

    mutable std::mutex m_queueMutex;
    std::deque<Command> m_queue;
    // The front of the queue has been typed and its command has not finished.
    bool m_inFlight = false;

    mutable std::mutex m_secretMutex;
    std::vector<std::string> m_secrets;
    // Log text held back because it might be the start of a secret.
    std::string m_logHeld;

    std::mutex m_runMutex;
    std::condition_variable m_runCondition;
    bool m_running = false;
    std::thread m_thread;
};
