#pragma once

#include "HVError.h"
#include "HVRemoteProtocol.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

class HVPseudoTerminal;
class HVRemoteFilesConnection;
class HVRemoteLogController;

// The remote action that currently runs. Called on the connection's reading thread.
class HVRemoteFilesConnectionDelegate {
public:
    virtual ~HVRemoteFilesConnectionDelegate() = default;
    virtual void finishedCommand(HVRemoteFilesConnection& /*connection*/,
                                 const std::vector<std::string>& /*lines*/) {}
    // Whether a line ending in ":" asks for input. Not answered: no.
    virtual bool willNeedInput(HVRemoteFilesConnection& /*connection*/) { return false; }
    // A command printed nothing for the stall time-out; the reading loop has ended.
    virtual void timedOut(HVRemoteFilesConnection& /*connection*/) {}
    // The client ended (or was killed) while this delegate waited for output.
    virtual void clientExited(HVRemoteFilesConnection& /*connection*/) {}
};

// Drives one of the transfer clients (ftp, sftp, cadaver) on a pseudo-terminal: knows its
// program and prompt, keeps the state the actions read, detects stalls, and copies what the
// client prints, escaped and with secrets masked, to the log. Can be launched again after
// the client has ended or been killed. Must not be destroyed from inside its delegate's calls
// (that aborts with a message): the destructor joins the thread those calls come on.
class HVRemoteFilesConnection {
public:
    explicit HVRemoteFilesConnection(HVRemoteProtocol type);
    ~HVRemoteFilesConnection();
    HVRemoteFilesConnection(const HVRemoteFilesConnection&) = delete;
    HVRemoteFilesConnection& operator=(const HVRemoteFilesConnection&) = delete;

    // "/usr/bin/ftp", "/usr/bin/sftp", and cadaver beside our executable or else in PATH.
    static std::string programPath(HVRemoteProtocol type);
    static std::string_view prompt(HVRemoteProtocol type);
    // Longest command line the terminal accepts, in bytes, without the line end.
    static constexpr std::size_t maximumCommandLength = 4095;

    HVRemoteProtocol type() const { return m_type; }
    HVConnectionState state() const;

    // Starts the client with these arguments (after the program name). Resets the state to 1
    // and the time-out flag; the command queue is kept.
    bool launch(std::vector<std::string> arguments, HVError* error = nullptr);
    // Queues a command line. False, queueing nothing, when killed, or when the line holds a
    // control character or is longer than the terminal accepts.
    bool writeCommand(std::string_view command);
    // Types a password: never logged, and masked wherever it appears in later output.
    bool writeSecret(std::string_view secret);
    // Sets state 5 and types an empty line; the reading loop leaves at the next output.
    void close();
    // State 6, then SIGKILL; the child is reaped by the reading thread.
    void kill();
    // SIGINT to the client.
    void cancel();

    // Seconds a command may wait for output before it counts as stalled (every protocol).
    void setStallTimeout(double seconds);
    // Whether a failure with this status code counts as a time-out: the flag is set, or FTP
    // 421, or WebDAV 408 or 504.
    bool hasTimedOut(int statusCode) const;

    // "NAME=value" entries for the client, over this process's environment (tests set LANG).
    void setEnvironment(std::vector<std::string> entries);
    void setDelegate(std::weak_ptr<HVRemoteFilesConnectionDelegate> delegate);
    void clearDelegate(const HVRemoteFilesConnectionDelegate* delegate);
    void setLog(std::weak_ptr<HVRemoteLogController> log);

    pid_t pid() const;
    // Waits until the client has been reaped and the reading thread has ended.
    bool waitUntilExit(double seconds);

private:
    std::shared_ptr<HVRemoteFilesConnectionDelegate> delegate();

    HVRemoteProtocol m_type;
    std::mutex m_peerMutex;
    std::weak_ptr<HVRemoteFilesConnectionDelegate> m_delegate;
    std::weak_ptr<HVRemoteLogController> m_log;
    std::unique_ptr<HVPseudoTerminal> m_terminal;
};
