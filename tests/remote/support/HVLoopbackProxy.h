#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// A TCP proxy on 127.0.0.1 in front of a server, for faults that real networks have: it can
// stop forwarding (a stalled server, a lost network) and start again.
class HVLoopbackProxy {
public:
    explicit HVLoopbackProxy(int targetPort);
    ~HVLoopbackProxy();
    HVLoopbackProxy(const HVLoopbackProxy&) = delete;
    HVLoopbackProxy& operator=(const HVLoopbackProxy&) = delete;

    int port() const { return m_port; }
    // Holds every byte in both directions until resumed; connections stay open.
    void pause() { m_paused = true; }
    void resume() { m_paused = false; }
    // Closes every connection it carries.
    void dropConnections();

private:
    void run();

    int m_listener = -1;
    int m_port = 0;
    int m_targetPort;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_drop{false};
    std::thread m_thread;
};
