#include "HVLoopbackProxy.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

HVLoopbackProxy::HVLoopbackProxy(int targetPort) : m_targetPort(targetPort) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot start the loopback proxy");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

HVLoopbackProxy::~HVLoopbackProxy() {
    m_stopping = true;
    const char byte = 0;
    [[maybe_unused]] auto written = ::write(m_wake[1], &byte, 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void HVLoopbackProxy::dropConnections() {
    m_drop = true;
    const char byte = 0;
    [[maybe_unused]] auto written = ::write(m_wake[1], &byte, 1);
}

void HVLoopbackProxy::run() {
    // Pairs of (client, server) sockets.
    std::vector<std::pair<int, int>> pairs;
    const auto closePair = [](std::pair<int, int>& pair) {
        ::close(pair.first);
        ::close(pair.second);
        pair = {-1, -1};
    };
    char buffer[65536];
    while (!m_stopping) {
        if (m_drop.exchange(false))
            for (auto& pair : pairs)
                closePair(pair);
        std::erase_if(pairs, [](const auto& pair) { return pair.first < 0; });
        // Only the pairs polled now are served below; one accepted meanwhile waits a turn.
        const std::size_t polled = pairs.size();
        std::vector<pollfd> fds{{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const bool paused = m_paused;
        for (const auto& [client, server] : pairs) {
            fds.push_back({client, short(paused ? 0 : POLLIN), 0});
            fds.push_back({server, short(paused ? 0 : POLLIN), 0});
        }
        // Wake up now and then to notice a resume.
        if (::poll(fds.data(), fds.size(), paused ? 20 : 200) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            char drain[64];
            [[maybe_unused]] auto ignored = ::read(m_wake[0], drain, sizeof drain);
        }
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in target = loopback(m_targetPort);
                if (server >= 0 &&
                    ::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
                    pairs.emplace_back(client, server);
                } else {
                    ::close(client);
                    if (server >= 0)
                        ::close(server);
                }
            }
        }
        if (paused)
            continue;
        for (std::size_t i = 0; i < polled; ++i) {
            const pollfd& clientSide = fds[2 + 2 * i];
            const pollfd& serverSide = fds[3 + 2 * i];
            const auto forward = [&](int from, int to) {
                const ssize_t count = ::read(from, buffer, sizeof buffer);
                if (count <= 0)
                    return false;
                ssize_t sent = 0;
                while (sent < count) {
                    const ssize_t n = ::write(to, buffer + sent, std::size_t(count - sent));
                    if (n <= 0)
                        return false;
                    sent += n;
                }
                return true;
            };
            bool alive = true;
            if (clientSide.revents & (POLLIN | POLLHUP | POLLERR))
                alive = forward(pairs[i].first, pairs[i].second);
            if (alive && (serverSide.revents & (POLLIN | POLLHUP | POLLERR)))
                alive = forward(pairs[i].second, pairs[i].first);
            if (!alive)
                closePair(pairs[i]);
        }
    }
    for (auto& pair : pairs)
        if (pair.first >= 0)
            closePair(pair);
}
