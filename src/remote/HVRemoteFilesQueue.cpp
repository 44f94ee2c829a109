#include "HVRemoteFilesQueue.h"

#include "HVCommandAction.h"
#include "HVConnectAction.h"
#include "HVDeleteDirectoryAction.h"
#include "HVFileCommandAction.h"
#include "HVFileListingAction.h"
#include "HVFileSystem.h"
#include "HVGetDirectoryAction.h"
#include "HVGetFileAction.h"
#include "HVNetworkController.h"
#include "HVPreferences.h"
#include "HVPutDirectoryAction.h"
#include "HVPutFileAction.h"
#include "HVRemoteFile.h"
#include "HVRemoteFilesConnection.h"
#include "HVRemoteLogController.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A stall or a dead client is worth two fresh connections for the same action; after that it
// is reported like any other failure, so that a server that always hangs cannot loop us.
constexpr int maximumReconnects = 2;

} // namespace

struct HVRemoteFilesQueue::Core : HVRemoteFileActionDelegate, std::enable_shared_from_this<Core> {
    using Completion = std::function<void(HVRemoteFilesQueueDelegate&, HVRemoteFilesQueue&)>;

    struct Entry {
        std::shared_ptr<HVRemoteFileAction> action;
        // The status text shown when it starts; none for quiet actions.
        std::optional<std::string> status;
        // Runs, in order, when it succeeds.
        Completion completion;
        bool hasOwnDelegate = false;
        DelegatePointer delegate;
        // What its own delegate hears when it fails.
        std::optional<HVRemoteOperation> operation;
        std::string remotePath;
        std::string secondPath;
        bool isConnect = false;
        // The "cd" that follows a reconnect: part of logging in, not an action that got
        // through.
        bool isSetUp = false;
        bool isClosing = false;
    };

    HVRemoteFilesQueue* owner = nullptr;
    HVRemoteProtocol type;
    mutable std::recursive_mutex mutex;
    std::condition_variable_any wake;
    mutable std::condition_variable_any idle;
    bool poked = false;
    std::deque<Entry> queue;
    std::shared_ptr<HVRemoteFilesConnection> connection;
    std::shared_ptr<HVRemoteLogController> log = std::make_shared<HVRemoteLogController>();
    std::shared_ptr<HVConnectAction> keptConnect;
    std::string host;
    std::optional<std::string> initialDirectory;
    std::atomic<State> state{State::NotRunning};
    bool networkUp = true;
    std::atomic<bool> dying{false};
    // An action has been started and has not reported yet.
    bool running = false;
    const HVRemoteFileAction* runningAction = nullptr;
    int reconnects = 0;
    DelegatePointer delegate;
    std::thread thread;
    HVNetworkController::Observation observation;

    explicit Core(HVRemoteProtocol protocol)
        : type(protocol), connection(std::make_shared<HVRemoteFilesConnection>(protocol)) {
        connection->setLog(log);
    }

    std::shared_ptr<HVRemoteFilesQueueDelegate> delegateFor(const Entry& entry) const {
        return entry.hasOwnDelegate ? entry.delegate.lock() : delegate.lock();
    }

    // Calls the queue's delegate outside the lock, while the queue is there to be named.
    template <typename Call> void tellDelegate(Call call) {
        HVRemoteFilesQueue* queue;
        std::shared_ptr<HVRemoteFilesQueueDelegate> target;
        {
            std::lock_guard lock(mutex);
            queue = owner;
            target = delegate.lock();
        }
        if (queue && target)
            call(*target, *queue);
    }

    std::string idleStatus() const {
        std::lock_guard lock(mutex);
        switch (state.load()) {
        case State::NotRunning:
            return "";
        case State::Connecting:
            return "Connecting";
        default:
            return networkUp ? "Connected" : "Offline";
        }
    }

    void sendStatus(const std::string& text, bool animate) {
        tellDelegate([&](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
            d.setStatus(q, text, animate);
        });
    }

    void poke() {
        std::lock_guard lock(mutex);
        poked = true;
        wake.notify_all();
        idle.notify_all();
    }

    void enqueue(Entry entry, bool atFront = false) {
        std::lock_guard lock(mutex);
        if (atFront)
            queue.push_front(std::move(entry));
        else
            queue.push_back(std::move(entry));
        poke();
    }

    void startThreadIfNeeded() {
        std::lock_guard lock(mutex);
        if (state != State::NotRunning && thread.joinable())
            return;
        if (thread.joinable())
            thread.join();
        dying = false;
        std::weak_ptr<Core> weak = weak_from_this();
        thread = std::thread([weak] {
            if (auto core = weak.lock())
                core->loop();
        });
    }

    void loop() {
        std::unique_lock lock(mutex);
        while (true) {
            if (!running) {
                if (queue.empty() || !networkUp) {
                    if (state != State::Connecting)
                        state = State::Idle;
                    const std::string text = idleStatus();
                    lock.unlock();
                    sendStatus(text, false);
                    idle.notify_all();
                    lock.lock();
                } else {
                    if (!queue.front().isConnect && !queue.front().isClosing && keptConnect &&
                        connection->state() == HVConnectionState::Killed)
                        // The client was given up after a failure: log in again first.
                        queueReconnectLocked();
                    Entry entry = queue.front();
                    running = true;
                    runningAction = entry.action.get();
                    state = entry.isConnect ? State::Connecting
                                            : (entry.isClosing ? State::Closing : State::Busy);
                    lock.unlock();
                    // A new login replaces a client that still runs (one just refused, or
                    // the session of an earlier connect), and starts only once the old one
                    // has been reaped on its reading thread, which may be the thread that
                    // reported the failure that led here.
                    if (entry.isConnect) {
                        if (connection->pid() > 0)
                            connection->kill();
                        connection->waitUntilExit(5);
                    }
                    if (entry.status)
                        sendStatus(*entry.status, true);
                    entry.action->run(weak_from_this());
                    lock.lock();
                }
            }
            if (dying)
                break;
            wake.wait(lock, [&] { return poked || dying.load(); });
            poked = false;
        }
        state = State::NotRunning;
        running = false;
        lock.unlock();
        tellDelegate(
            [](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) { d.closedConnection(q); });
        sendStatus("", false);
        idle.notify_all();
    }

    Entry connectEntry(std::shared_ptr<HVConnectAction> action) {
        Entry entry;
        entry.action = std::move(action);
        entry.isConnect = true;
        entry.status = "Connecting";
        entry.completion = [](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
            d.openedConnection(q);
        };
        return entry;
    }

    Entry changeDirectoryEntry(const std::string& path) {
        Entry entry;
        entry.action = std::make_shared<HVChangeDirectoryAction>(connection, path);
        entry.completion = [path](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
            d.changedToDirectory(q, path);
        };
        return entry;
    }

    struct Request {
        HVRemoteOperation operation;
        std::string remotePath;
        std::string secondPath;
    };

    void operation(std::shared_ptr<HVRemoteFileAction> action, std::optional<std::string> status,
                   DelegatePointer operationDelegate, Request request, Completion completion) {
        Entry entry;
        entry.action = std::move(action);
        entry.status = std::move(status);
        entry.hasOwnDelegate = !operationDelegate.expired();
        entry.delegate = std::move(operationDelegate);
        entry.operation = request.operation;
        entry.remotePath = std::move(request.remotePath);
        entry.secondPath = std::move(request.secondPath);
        entry.completion = std::move(completion);
        enqueue(std::move(entry));
    }

    // Tells each entry's own delegate that its operation failed; outside the lock.
    void tellFailed(const std::vector<Entry>& entries, const HVError& error) {
        HVRemoteFilesQueue* queueHandle;
        {
            std::lock_guard lock(mutex);
            queueHandle = owner;
        }
        if (!queueHandle)
            return;
        for (const Entry& entry : entries) {
            if (!entry.hasOwnDelegate || !entry.operation)
                continue;
            if (const auto target = entry.delegate.lock())
                target->actionFailed(*queueHandle, *entry.operation, entry.remotePath,
                                     entry.secondPath, error);
        }
    }

    bool connectWaiting() const {
        return std::any_of(queue.begin(), queue.end(),
                           [](const Entry& entry) { return entry.isConnect; });
    }

    // Ends the client and puts a new login (and the first folder) before the waiting actions.
    void queueReconnectLocked() {
        connection->kill();
        if (initialDirectory) {
            Entry setUp = changeDirectoryEntry(*initialDirectory);
            setUp.isSetUp = true;
            queue.push_front(std::move(setUp));
        }
        queue.push_front(connectEntry(keptConnect));
        keptConnect = keptConnect->clone();
    }

    void closeConnectionLocked() {
        if (connection->state() == HVConnectionState::Killed) {
            dying = true;
            poke();
            return;
        }
        Entry entry;
        entry.action = std::make_shared<HVCommandAction>(connection, "quit", true);
        entry.status = "Closing connection";
        entry.isClosing = true;
        queue.push_back(std::move(entry));
        poke();
    }

    void actionFinished(HVRemoteFileAction& action, bool success, int statusCode) override {
        std::unique_lock lock(mutex);
        const auto found = std::find_if(queue.begin(), queue.end(), [&](const Entry& entry) {
            return entry.action.get() == &action;
        });
        if (found == queue.end())
            return;
        const Entry entry = *found;
        const auto remove = [&] {
            const auto it = std::find_if(queue.begin(), queue.end(),
                                         [&](const Entry& e) { return e.action.get() == &action; });
            if (it != queue.end())
                queue.erase(it);
            running = false;
            poke();
        };

        if (entry.isClosing) {
            // The client is gone either way; the queue too, unless the owner connects again.
            if (!connectWaiting())
                dying = true;
            connection->close();
            remove();
            return;
        }
        if (success) {
            // Only an action that got through clears the count: a server that lets us log in
            // and then stalls every time must not be reconnected to for ever.
            if (entry.isConnect)
                state = State::Idle;
            else if (!entry.isSetUp)
                reconnects = 0;
            HVRemoteFilesQueue* queueHandle = owner;
            const auto target = delegateFor(entry);
            lock.unlock();
            if (queueHandle && target && entry.completion)
                entry.completion(*target, *queueHandle);
            lock.lock();
            remove();
            return;
        }
        if (!networkUp) {
            // Runs again when the host can be reached, over a new connection when this one is
            // lost; the network explains the failure, so it does not count as a reconnection.
            if (keptConnect && (entry.isConnect || connection->hasTimedOut(statusCode) ||
                                connection->pid() == 0)) {
                if (entry.isConnect)
                    queue.erase(found);
                queueReconnectLocked();
            }
            running = false;
            return;
        }
        if (action.failureIsFatal()) {
            const bool connecting = state == State::Connecting;
            int connectState = 0;
            if (auto* connect = dynamic_cast<HVConnectAction*>(&action))
                connectState = connect->state();
            // Forgotten before the owner hears of it: a connection it asks for in answer (with
            // a new password) must not be cleared away or closed behind it.
            const std::vector<Entry> dropped(queue.begin(), queue.end());
            queue.clear();
            running = false;
            lock.unlock();
            const HVError error = action.error(statusCode);
            tellDelegate([&](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
                d.hadError(q, error);
                if (!(connecting && (connectState == 2 || connectState == 3) &&
                      d.hadCredentialsFailure(q)))
                    d.hadFatalFailure(q);
            });
            // The waiting operations will never run either: their callers must not wait.
            tellFailed(dropped, error);
            lock.lock();
            if (connectWaiting())
                return;
            // A client that stalled or ended cannot be asked to quit: that would wait for ever.
            if (connection->hasTimedOut(statusCode) || connection->pid() == 0)
                connection->kill();
            closeConnectionLocked();
            return;
        }
        const bool clientGone = connection->pid() == 0;
        if ((connection->hasTimedOut(statusCode) || clientGone) && keptConnect &&
            reconnects < maximumReconnects) {
            ++reconnects;
            queueReconnectLocked();
            running = false;
            poke();
            return;
        }
        // Given up: the next action starts a new client rather than wait on this one.
        if (connection->hasTimedOut(statusCode) || clientGone)
            connection->kill();
        lock.unlock();
        const HVError error = action.error(statusCode);
        tellDelegate(
            [&](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) { d.hadError(q, error); });
        tellFailed({entry}, error);
        lock.lock();
        remove();
    }
};

HVRemoteFilesQueue::HVRemoteFilesQueue(HVRemoteProtocol type, DelegatePointer delegate)
    : m_core(std::make_shared<Core>(type)) {
    m_core->owner = this;
    m_core->delegate = std::move(delegate);
}

HVRemoteFilesQueue::~HVRemoteFilesQueue() {
    {
        std::lock_guard lock(m_core->mutex);
        m_core->owner = nullptr;
        m_core->queue.clear();
        m_core->dying = true;
        m_core->poke();
    }
    m_core->observation.reset();
    auto& connection = *m_core->connection;
    if (connection.pid() > 0 && connection.state() == HVConnectionState::AtPrompt) {
        // A polite goodbye first, so the server is not left with a half-open session.
        connection.clearDelegate(nullptr);
        connection.writeCommand("quit");
        connection.waitUntilExit(1);
    }
    connection.kill();
    connection.waitUntilExit(10);
    if (m_core->thread.joinable())
        m_core->thread.join();
    connection.setDelegate({});
}

void HVRemoteFilesQueue::setDelegate(DelegatePointer delegate) {
    std::lock_guard lock(m_core->mutex);
    m_core->delegate = std::move(delegate);
}

void HVRemoteFilesQueue::connect(HVRemoteServer server) {
    HVError error;
    if (!HVNetworkController::hostIsReachable(server.host, &error)) {
        m_core->tellDelegate([&](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
            d.hadError(q, error);
            d.hadFatalFailure(q);
        });
        return;
    }
    HVRememberRecentRemoteHost(server, m_core->type);
    std::weak_ptr<Core> weak = m_core;
    auto observation = HVNetworkController::sharedInstance().addObserver(
        server.host, [weak](const std::string& host, bool reachable) {
            if (const auto core = weak.lock()) {
                std::lock_guard lock(core->mutex);
                if (core->owner)
                    core->owner->networkStatusChanged(host, reachable);
            }
        });

    auto action = HVConnectAction::make(m_core->connection, server.host, server.port, server.user,
                                        server.password, server.arguments);
    action->setWebDAVScheme(server.webDAVScheme);
    action->setWebDAVPath(server.webDAVPath);
    if (server.hostKeyApproval)
        action->setHostKeyApproval(server.hostKeyApproval);
    {
        std::lock_guard lock(m_core->mutex);
        m_core->networkUp = true;
        m_core->observation = std::move(observation);
        m_core->host = HVNetworkController::normalizedHostName(server.host);
        m_core->keptConnect = action->clone();
        m_core->reconnects = 0;
        // A goodbye still waiting would end the new session; a queue on its way out stays.
        const std::size_t first = m_core->running ? 1 : 0;
        for (std::size_t i = m_core->queue.size(); i > first; --i)
            if (m_core->queue[i - 1].isClosing)
                m_core->queue.erase(m_core->queue.begin() + std::ptrdiff_t(i - 1));
        m_core->dying = false;
        m_core->enqueue(m_core->connectEntry(std::move(action)), true);
    }
    m_core->startThreadIfNeeded();
}

void HVRemoteFilesQueue::setInitialWorkingDirectory(std::string directory) {
    std::lock_guard lock(m_core->mutex);
    m_core->initialDirectory = std::move(directory);
}

namespace {

template <typename Action, typename... Arguments>
std::shared_ptr<HVRemoteFileAction> makeAction(Arguments&&... arguments) {
    return std::make_shared<Action>(std::forward<Arguments>(arguments)...);
}

} // namespace

void HVRemoteFilesQueue::getFileListing(std::string path, DelegatePointer delegate) {
    auto action = std::make_shared<HVFileListingAction>(m_core->connection, path);
    std::weak_ptr<HVFileListingAction> weak = action;
    m_core->operation(action, "Getting file list for " + quoted(path), delegate,
                      Core::Request{HVRemoteOperation::Listing, path, {}},
                      ([weak, path](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
                          if (const auto listing = weak.lock())
                              d.retrievedFiles(q, listing->files(), path);
                      }));
}

void HVRemoteFilesQueue::downloadFile(std::string remotePath, std::string localPath,
                                      DelegatePointer delegate,
                                      std::optional<std::uint64_t> expectedSize) {
    auto action = std::make_shared<HVGetFileAction>(m_core->connection, remotePath, localPath);
    if (expectedSize)
        action->setExpectedSize(*expectedSize);
    m_core->operation(
        action, "Downloading " + quoted(HVFileSystem::lastPathComponent(remotePath)), delegate,
        Core::Request{HVRemoteOperation::Download, remotePath, localPath},
        ([remotePath, localPath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
            d.downloadedFile(q, remotePath, localPath);
        }));
}

void HVRemoteFilesQueue::downloadDirectory(std::string remotePath, std::string localPath,
                                           DelegatePointer delegate) {
    m_core->operation(
        makeAction<HVGetDirectoryAction>(m_core->connection, remotePath, localPath),
        "Downloading " + quoted(HVFileSystem::lastPathComponent(remotePath)), delegate,
        Core::Request{HVRemoteOperation::Download, remotePath, localPath},
        ([remotePath, localPath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
            d.downloadedFile(q, remotePath, localPath);
        }));
}

void HVRemoteFilesQueue::uploadFile(std::string localPath, std::string remotePath,
                                    DelegatePointer delegate) {
    m_core->operation(
        makeAction<HVPutFileAction>(m_core->connection, localPath, remotePath),
        "Uploading " + quoted(HVFileSystem::lastPathComponent(localPath)), delegate,
        Core::Request{HVRemoteOperation::Upload, remotePath, localPath},
        ([localPath, remotePath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
            d.uploadedFile(q, localPath, remotePath);
        }));
}

void HVRemoteFilesQueue::uploadDirectory(std::string localPath, std::string remotePath,
                                         DelegatePointer delegate) {
    m_core->operation(
        makeAction<HVPutDirectoryAction>(m_core->connection, localPath, remotePath),
        "Uploading " + quoted(HVFileSystem::lastPathComponent(localPath)), delegate,
        Core::Request{HVRemoteOperation::Upload, remotePath, localPath},
        ([localPath, remotePath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
            d.uploadedFile(q, localPath, remotePath);
        }));
}

void HVRemoteFilesQueue::moveFile(std::string remotePath, std::string newPath,
                                  DelegatePointer delegate) {
    m_core->operation(makeAction<HVMoveFileAction>(m_core->connection, remotePath, newPath),
                      "Moving " + quoted(HVFileSystem::lastPathComponent(remotePath)) + " to " +
                          quoted(HVFileSystem::lastPathComponent(newPath)),
                      delegate, Core::Request{HVRemoteOperation::Move, remotePath, newPath},
                      ([remotePath, newPath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
                          d.movedFile(q, remotePath, newPath);
                      }));
}

void HVRemoteFilesQueue::deleteFile(std::string remotePath, DelegatePointer delegate) {
    m_core->operation(makeAction<HVDeleteFileAction>(m_core->connection, remotePath),
                      "Deleting " + quoted(HVFileSystem::lastPathComponent(remotePath)), delegate,
                      Core::Request{HVRemoteOperation::Delete, remotePath, {}},
                      ([remotePath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
                          d.deletedFile(q, remotePath);
                      }));
}

void HVRemoteFilesQueue::deleteDirectory(std::string remotePath, DelegatePointer delegate) {
    m_core->operation(makeAction<HVDeleteDirectoryAction>(m_core->connection, remotePath),
                      "Deleting " + quoted(HVFileSystem::lastPathComponent(remotePath)), delegate,
                      Core::Request{HVRemoteOperation::Delete, remotePath, {}},
                      ([remotePath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
                          d.deletedFile(q, remotePath);
                      }));
}

void HVRemoteFilesQueue::createDirectory(std::string remotePath, DelegatePointer delegate) {
    m_core->operation(makeAction<HVMakeDirectoryFileAction>(m_core->connection, remotePath),
                      "Creating directory " + quoted(HVFileSystem::lastPathComponent(remotePath)),
                      delegate, Core::Request{HVRemoteOperation::CreateDirectory, remotePath, {}},
                      ([remotePath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
                          d.createdDirectory(q, remotePath);
                      }));
}

void HVRemoteFilesQueue::chmod(std::string mode, std::string remotePath) {
    DelegatePointer delegate;
    m_core->operation(makeAction<HVChmodFileAction>(m_core->connection, remotePath, mode),
                      std::nullopt, delegate,
                      Core::Request{HVRemoteOperation::Chmod, remotePath, {}},
                      ([mode, remotePath](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) {
                          d.didChmod(q, mode, remotePath);
                      }));
}

void HVRemoteFilesQueue::changeToDirectory(std::string remotePath) {
    m_core->enqueue(m_core->changeDirectoryEntry(remotePath));
}

void HVRemoteFilesQueue::closeConnection() {
    std::lock_guard lock(m_core->mutex);
    m_core->closeConnectionLocked();
}

void HVRemoteFilesQueue::cancel() {
    if (m_core->state == State::Busy)
        m_core->connection->cancel();
}

void HVRemoteFilesQueue::clearActionDelegate(const HVRemoteFilesQueueDelegate* delegate) {
    std::lock_guard lock(m_core->mutex);
    for (auto& entry : m_core->queue)
        if (entry.hasOwnDelegate && entry.delegate.lock().get() == delegate)
            entry.delegate.reset();
}

std::size_t HVRemoteFilesQueue::removeActions(const HVRemoteFilesQueueDelegate* delegate) {
    std::lock_guard lock(m_core->mutex);
    auto& queue = m_core->queue;
    const std::size_t before = queue.size();
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [&](const Core::Entry& entry) {
                                   const bool runs = m_core->running &&
                                                     entry.action.get() == m_core->runningAction;
                                   return !runs && entry.hasOwnDelegate &&
                                          entry.delegate.lock().get() == delegate;
                               }),
                queue.end());
    const std::size_t removed = before - queue.size();
    if (removed)
        m_core->poke();
    return removed;
}

HVRemoteFilesQueue::State HVRemoteFilesQueue::state() const {
    return m_core->state;
}

HVRemoteProtocol HVRemoteFilesQueue::type() const {
    return m_core->type;
}

std::shared_ptr<HVRemoteLogController> HVRemoteFilesQueue::logController() const {
    return m_core->log;
}

bool HVRemoteFilesQueue::isOnline() const {
    std::string host;
    {
        std::lock_guard lock(m_core->mutex);
        host = m_core->host;
    }
    return !host.empty() && HVNetworkController::hostIsReachable(host);
}

std::string HVRemoteFilesQueue::idleStatus() const {
    return m_core->idleStatus();
}

void HVRemoteFilesQueue::setStallTimeout(double seconds) {
    m_core->connection->setStallTimeout(seconds);
}

void HVRemoteFilesQueue::setClientEnvironment(std::vector<std::string> entries) {
    m_core->connection->setEnvironment(std::move(entries));
}

bool HVRemoteFilesQueue::waitUntilIdle(double seconds) const {
    std::unique_lock lock(m_core->mutex);
    return m_core->idle.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
        // Idle only once the thread has said so: state() then agrees.
        return (m_core->queue.empty() && !m_core->running && m_core->state == State::Idle) ||
               m_core->state == State::NotRunning;
    });
}

std::shared_ptr<HVRemoteFilesConnection> HVRemoteFilesQueue::connection() const {
    return m_core->connection;
}

void HVRemoteFilesQueue::networkStatusChanged(const std::string& host, bool reachable) {
    bool cameBack = false;
    bool wentDown = false;
    {
        std::lock_guard lock(m_core->mutex);
        if (host != m_core->host)
            return;
        cameBack = !m_core->networkUp && reachable;
        wentDown = m_core->networkUp && !reachable;
        m_core->networkUp = reachable;
    }
    m_core->sendStatus(m_core->idleStatus(), false);
    // Unlike a plain wake-up, this also restarts an action that failed while the host was
    // away: nothing else would.
    if (cameBack)
        m_core->poke();
    if (wentDown) {
        HVError error(HVErrorDomain, 11, "Network Lost",
                      "Your network connection appears to be down. Remote operations will be "
                      "queued until your connection is reestablished.");
        error.setLowPriority(true);
        m_core->tellDelegate(
            [&](HVRemoteFilesQueueDelegate& d, HVRemoteFilesQueue& q) { d.hadError(q, error); });
    }
}

void HVRememberRecentRemoteHost(const HVRemoteServer& server, HVRemoteProtocol type) {
    auto& preferences = HVPreferences::sharedInstance();
    HVPlistValue::Array hosts =
        preferences.arrayForKey("HVRecentRemoteHosts").value_or(HVPlistValue::Array{});
    for (const HVPlistValue& entry : hosts) {
        const std::string* known = entry.stringForKey("HVRecentRemoteHost");
        if (known && *known == server.host)
            return;
    }
    HVPlistValue::Dictionary entry;
    entry["HVRecentRemoteHost"] = server.host;
    entry["HVRecentRemoteUser"] = server.user;
    entry["HVRecentRemoteProtocol"] = static_cast<int>(type);
    if (server.port > 0)
        entry["HVRecentRemotePort"] = server.port;
    hosts.insert(hosts.begin(), HVPlistValue(std::move(entry)));
    if (hosts.size() >= 12)
        hosts.pop_back();
    preferences.setObject("HVRecentRemoteHosts", HVPlistValue(std::move(hosts)));
}
