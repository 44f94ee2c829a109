#include "HVNetworkController.h"

#include "HVDispatcher.h"

#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <map>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct HVNetworkController::State {
    struct Watch {
        std::string host;
        Callback callback;
        bool reachable = true;
    };
    std::mutex mutex;
    std::map<std::uint64_t, Watch> watches;
    std::uint64_t nextID = 1;
    std::thread monitor;
    int wakePipe[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::atomic<bool> judging{false};
};

namespace {

bool isLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        return IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr);
    }
    return false;
}

// Connecting a datagram socket sends nothing; it only asks the kernel for a route.
bool hasRoute(const addrinfo* info) {
    const int fd = ::socket(info->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_storage address{};
    std::memcpy(&address, info->ai_addr, info->ai_addrlen);
    // Any port will do for the question; 9 is "discard".
    if (address.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(9);
    else
        reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(9);
    const bool routed = ::connect(fd, reinterpret_cast<sockaddr*>(&address), info->ai_addrlen) == 0;
    ::close(fd);
    return routed;
}

} // namespace

HVNetworkController::Observation&
HVNetworkController::Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        reset();
        m_id = other.m_id;
        other.m_id = 0;
    }
    return *this;
}

void HVNetworkController::Observation::reset() {
    if (m_id != 0)
        HVNetworkController::sharedInstance().remove(m_id);
    m_id = 0;
}

HVNetworkController& HVNetworkController::sharedInstance() {
    static HVNetworkController controller;
    return controller;
}

HVNetworkController::HVNetworkController() : m_state(std::make_shared<State>()) {}

HVNetworkController::~HVNetworkController() {
    m_state->stopping = true;
    if (m_state->wakePipe[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] auto written = ::write(m_state->wakePipe[1], &byte, 1);
    }
    if (m_state->monitor.joinable())
        m_state->monitor.join();
    for (int fd : m_state->wakePipe)
        if (fd >= 0)
            ::close(fd);
}

std::string HVNetworkController::normalizedHostName(std::string_view host) {
    // A leading scheme and its slashes: "\w+:/*".
    std::size_t i = 0;
    while (i < host.size() && (std::isalnum(static_cast<unsigned char>(host[i])) || host[i] == '_'))
        ++i;
    if (i > 0 && i < host.size() && host[i] == ':') {
        ++i;
        while (i < host.size() && host[i] == '/')
            ++i;
        host.remove_prefix(i);
    }
    return std::string(host.substr(0, host.find('/')));
}

bool HVNetworkController::hostIsReachable(std::string_view host, HVError* error) {
    const std::string name = normalizedHostName(host);
    bool reachable = false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (!name.empty() && ::getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0) {
        for (const addrinfo* info = found; info && !reachable; info = info->ai_next)
            reachable = isLoopback(info->ai_addr) || hasRoute(info);
        ::freeaddrinfo(found);
    }
    if (!reachable)
        HVSetError(error, HVError(HVErrorDomain, 10, "Cannot connect to host",
                                  "Halvet was unable to connect to \"" + name +
                                      "\". Please check your network configuration."));
    return reachable;
}

HVNetworkController::Observation HVNetworkController::addObserver(std::string_view host,
                                                                  Callback callback) {
    std::uint64_t id;
    {
        std::lock_guard lock(m_state->mutex);
        id = m_state->nextID++;
        m_state->watches[id] = {normalizedHostName(host), std::move(callback), true};
    }
    startMonitor();
    return Observation(id);
}

void HVNetworkController::remove(std::uint64_t id) {
    std::lock_guard lock(m_state->mutex);
    m_state->watches.erase(id);
}

void HVNetworkController::reachabilityChanged(std::string_view host, bool reachable) {
    tell(m_state, normalizedHostName(host), reachable);
}

void HVNetworkController::tell(const std::weak_ptr<State>& weak, std::string name, bool reachable) {
    HVDispatcher::main().post([weak, name = std::move(name), reachable] {
        const auto state = weak.lock();
        if (!state)
            return;
        std::vector<std::uint64_t> ids;
        {
            std::lock_guard lock(state->mutex);
            for (auto& [id, watch] : state->watches)
                if (watch.host == name)
                    ids.push_back(id);
        }
        // Observers may remove themselves or others while being told.
        for (std::uint64_t id : ids) {
            Callback callback;
            {
                std::lock_guard lock(state->mutex);
                const auto it = state->watches.find(id);
                if (it == state->watches.end())
                    continue;
                it->second.reachable = reachable;
                callback = it->second.callback;
            }
            callback(name, reachable);
        }
    });
}

void HVNetworkController::networkConfigurationChanged() {
    judge(m_state);
}

void HVNetworkController::judge(const std::shared_ptr<State>& state) {
    if (state->judging.exchange(true))
        return;
    std::map<std::string, bool> known;
    {
        std::lock_guard lock(state->mutex);
        for (const auto& [id, watch] : state->watches)
            known.emplace(watch.host, watch.reachable);
    }
    // Name resolution may take seconds: never on the main thread. The thread keeps the state
    // alive, not the controller.
    std::thread([state, known] {
        for (const auto& [host, wasReachable] : known) {
            const bool reachable = hostIsReachable(host);
            if (reachable != wasReachable)
                tell(state, host, reachable);
        }
        state->judging = false;
    }).detach();
}

void HVNetworkController::startMonitor() {
    std::lock_guard lock(m_state->mutex);
    if (m_state->monitor.joinable())
        return;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE |
                        RTMGRP_IPV6_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::pipe2(m_state->wakePipe, O_CLOEXEC) != 0) {
        ::close(fd);
        return;
    }
    m_state->monitor = std::thread([state = m_state, fd] {
        char buffer[8192];
        while (!state->stopping) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {state->wakePipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents)
                break;
            if (!(fds[0].revents & POLLIN))
                continue;
            if (::recv(fd, buffer, sizeof buffer, 0) <= 0 && errno != EINTR && errno != ENOBUFS)
                break;
            // A burst of events follows one change: judge once it has settled.
            while (::poll(fds, 1, 200) > 0 && (fds[0].revents & POLLIN))
                ::recv(fd, buffer, sizeof buffer, 0);
            judge(state);
        }
        ::close(fd);
    });
}
