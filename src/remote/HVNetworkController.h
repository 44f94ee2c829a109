#pragma once

#include "HVError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Whether hosts can be reached, and news when that changes. A host is reachable when its name
// resolves and the kernel has a route to one of its addresses (loopback always counts). The
// kernel's link, address and route events make every watched host be judged again.
class HVNetworkController {
public:
    using Callback = std::function<void(const std::string& host, bool reachable)>;

    // Ends its watch when it goes away.
    class Observation {
    public:
        Observation() = default;
        Observation(Observation&& other) noexcept : m_id(other.m_id) { other.m_id = 0; }
        Observation& operator=(Observation&& other) noexcept;
        ~Observation() { reset(); }
        void reset();
        explicit operator bool() const { return m_id != 0; }

    private:
        friend class HVNetworkController;
        explicit Observation(std::uint64_t id) : m_id(id) {}
        std::uint64_t m_id = 0;
    };

    static HVNetworkController& sharedInstance();

    // "sftp://host/dir" and "host/dir" both give "host".
    static std::string normalizedHostName(std::string_view host);
    // False, with the "Cannot connect to host" error (code 10), when the host cannot be reached.
    static bool hostIsReachable(std::string_view host, HVError* error = nullptr);

    // Calls back on the main thread with the normalised host whenever its reachability changes.
    [[nodiscard]] Observation addObserver(std::string_view host, Callback callback);

    // What the kernel's notification leads to: tells the observers of this host that it is now
    // reachable or not. Tests call it as the kernel would.
    void reachabilityChanged(std::string_view host, bool reachable);
    // Judges every watched host again (on a worker thread) and reports the ones that changed.
    void networkConfigurationChanged();

    ~HVNetworkController();

private:
    HVNetworkController();
    void remove(std::uint64_t id);
    void startMonitor();

    struct State;
    static void tell(const std::weak_ptr<State>& state, std::string host, bool reachable);
    static void judge(const std::shared_ptr<State>& state);
    std::shared_ptr<State> m_state;
};
