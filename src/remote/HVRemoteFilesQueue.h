#pragma once

#include "HVError.h"
#include "HVRemoteProtocol.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HVRemoteFile;
class HVRemoteFilesConnection;
class HVRemoteFilesQueue;
class HVRemoteLogController;

// The kinds of operation a queue runs for its callers.
enum class HVRemoteOperation : int {
    Listing,
    Download,
    Upload,
    Move,
    Delete,
    CreateDirectory,
    Chmod,
};

// The owner of a queue, and anyone who asks it for an operation. Called on the queue's threads
// (never the main one): hand user-interface work to the main thread yourself.
class HVRemoteFilesQueueDelegate {
public:
    virtual ~HVRemoteFilesQueueDelegate() = default;
    virtual void retrievedFiles(HVRemoteFilesQueue& /*queue*/,
                                const std::vector<HVRemoteFile>& /*files*/,
                                const std::string& /*path*/) {}
    virtual void downloadedFile(HVRemoteFilesQueue& /*queue*/, const std::string& /*remotePath*/,
                                const std::string& /*localPath*/) {}
    virtual void uploadedFile(HVRemoteFilesQueue& /*queue*/, const std::string& /*localPath*/,
                              const std::string& /*remotePath*/) {}
    virtual void movedFile(HVRemoteFilesQueue& /*queue*/, const std::string& /*remotePath*/,
                           const std::string& /*newPath*/) {}
    virtual void deletedFile(HVRemoteFilesQueue& /*queue*/, const std::string& /*remotePath*/) {}
    virtual void createdDirectory(HVRemoteFilesQueue& /*queue*/,
                                  const std::string& /*remotePath*/) {}
    virtual void didChmod(HVRemoteFilesQueue& /*queue*/, const std::string& /*mode*/,
                          const std::string& /*remotePath*/) {}
    virtual void changedToDirectory(HVRemoteFilesQueue& /*queue*/,
                                    const std::string& /*remotePath*/) {}
    // An operation that named this object as its own delegate failed, or was dropped by a
    // fatal failure of the connection; the queue's delegate has had the error too. Whoever
    // marked something as pending learns here to clear the mark. The second path is the local
    // path of a transfer or the new path of a move, else empty.
    virtual void actionFailed(HVRemoteFilesQueue& /*queue*/, HVRemoteOperation /*operation*/,
                              const std::string& /*remotePath*/, const std::string& /*secondPath*/,
                              const HVError& /*error*/) {}

    virtual void openedConnection(HVRemoteFilesQueue& /*queue*/) {}
    virtual void hadFatalFailure(HVRemoteFilesQueue& /*queue*/) {}
    // True when answered: the owner asks for a user name and password and connects again.
    // Not answered, the queue reports a fatal failure instead.
    virtual bool hadCredentialsFailure(HVRemoteFilesQueue& /*queue*/) { return false; }
    virtual void hadError(HVRemoteFilesQueue& /*queue*/, const HVError& /*error*/) {}
    virtual void setStatus(HVRemoteFilesQueue& /*queue*/, const std::string& /*status*/,
                           bool /*animate*/) {}
    virtual void closedConnection(HVRemoteFilesQueue& /*queue*/) {}
};

// Where and how to connect.
struct HVRemoteServer {
    std::string host;
    int port = 0;
    std::string user;
    std::string password;
    // Extra arguments for the client's command line.
    std::vector<std::string> arguments;
    // WebDAV only: "http" or "https", and the path of the collection to open.
    std::string webDAVScheme = "http";
    std::string webDAVPath = "/";
    // Asked, on a worker thread, whether to trust a host key the client does not know; the
    // question holds the client's own text with the key's fingerprint. Unset: refuse.
    std::function<bool(const std::string& question)> hostKeyApproval;
};

// Every remote operation of one server goes through one queue: it owns one connection and
// runs the remote actions one at a time, in the order asked, on a thread of its own. It
// reconnects after a stall, keeps actions waiting while the host is unreachable, reports
// status texts, and remembers recent hosts.
class HVRemoteFilesQueue {
public:
    enum class State : int { NotRunning = 0, Connecting = 1, Idle = 2, Busy = 3, Closing = 4 };
    using DelegatePointer = std::weak_ptr<HVRemoteFilesQueueDelegate>;

    HVRemoteFilesQueue(HVRemoteProtocol type, DelegatePointer delegate);
    // Closes the connection and waits for the queue's thread and the client to end.
    ~HVRemoteFilesQueue();
    HVRemoteFilesQueue(const HVRemoteFilesQueue&) = delete;
    HVRemoteFilesQueue& operator=(const HVRemoteFilesQueue&) = delete;

    void setDelegate(DelegatePointer delegate);

    // On the main thread. An unreachable host gives the code-10 error and a fatal failure.
    void connect(HVRemoteServer server);
    void setInitialWorkingDirectory(std::string directory);

    // Each operation's completion goes to its own delegate when one is given, else to the
    // queue's delegate.
    void getFileListing(std::string path, DelegatePointer delegate = {});
    void downloadFile(std::string remotePath, std::string localPath, DelegatePointer delegate = {},
                      std::optional<std::uint64_t> expectedSize = std::nullopt);
    void downloadDirectory(std::string remotePath, std::string localPath,
                           DelegatePointer delegate = {});
    void uploadFile(std::string localPath, std::string remotePath, DelegatePointer delegate = {});
    void uploadDirectory(std::string localPath, std::string remotePath,
                         DelegatePointer delegate = {});
    void moveFile(std::string remotePath, std::string newPath, DelegatePointer delegate = {});
    void deleteFile(std::string remotePath, DelegatePointer delegate = {});
    void deleteDirectory(std::string remotePath, DelegatePointer delegate = {});
    void createDirectory(std::string remotePath, DelegatePointer delegate = {});
    void chmod(std::string mode, std::string remotePath);
    void changeToDirectory(std::string remotePath);
    void closeConnection();
    // Interrupts the client while an action runs.
    void cancel();
    // Every queued operation of this delegate forgets it.
    void clearActionDelegate(const HVRemoteFilesQueueDelegate* delegate);
    // The waiting operations of this delegate leave the queue (the running one finishes);
    // answers how many left. For cancelling what a window queued.
    std::size_t removeActions(const HVRemoteFilesQueueDelegate* delegate);

    State state() const;
    HVRemoteProtocol type() const;
    std::shared_ptr<HVRemoteLogController> logController() const;
    // Whether the connected host can be reached now.
    bool isOnline() const;
    // The text the status bar shows when nothing runs: "", "Connecting", "Connected", "Offline".
    std::string idleStatus() const;
    // Seconds a command may print nothing before the client counts as stalled.
    void setStallTimeout(double seconds);
    // "NAME=value" entries for the client (tests set LANG).
    void setClientEnvironment(std::vector<std::string> entries);
    // Waits (not on the main thread's behalf) until nothing is queued and nothing runs.
    bool waitUntilIdle(double seconds) const;
    // The connection, for tests that need the client's pid.
    std::shared_ptr<HVRemoteFilesConnection> connection() const;

    // The network controller's news about the host, on the main thread.
    void networkStatusChanged(const std::string& host, bool reachable);

private:
    struct Core;
    std::shared_ptr<Core> m_core;
};

// Keeps "HVRecentRemoteHosts" in the preferences: newest first, at most 11, a host once.
void HVRememberRecentRemoteHost(const HVRemoteServer& server, HVRemoteProtocol type);
