#include "HVChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    ~Pipe() { closeBoth(); }
    bool open() { return ::pipe2(fds, O_CLOEXEC) == 0; }
    void closeEnd(int i) {
        if (fds[i] >= 0)
            ::close(fds[i]);
        fds[i] = -1;
    }
    void closeBoth() {
        closeEnd(0);
        closeEnd(1);
    }
};

void ignoreBrokenPipes() {
    // A child that exits without reading its input must not take this process down with it.
    static const bool done = [] {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &action, nullptr);
        return true;
    }();
    (void)done;
}

} // namespace

std::optional<HVChildProcess::Result> HVChildProcess::run(const Options& options, HVError* error) {
    if (options.arguments.empty()) {
        HVSetError(error, HVError(HVPlatformErrorDomain, EINVAL, "No program to run"));
        return std::nullopt;
    }
    ignoreBrokenPipes();
    const std::string& program = options.arguments.front();

    Pipe in, out, err;
    if (!in.open() || !out.open() || !err.open()) {
        HVSetError(error, HVError::posix(errno, program, "Cannot start"));
        return std::nullopt;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fds[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fds[1], STDERR_FILENO);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t noMask;
    sigemptyset(&noMask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &noMask);
    // Its own process group, so that a time limit ends whatever the child started too.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv;
    for (const auto& argument : options.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (options.environment) {
        for (const auto& entry : *options.environment)
            envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
    }

    pid_t pid = -1;
    int spawnError = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(),
                                  options.environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        HVSetError(error, HVError::posix(spawnError, program, "Cannot run"));
        return std::nullopt;
    }

    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);
    for (int fd : {in.fds[1], out.fds[0], err.fds[0]})
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    Result result;
    std::size_t written = 0;
    const std::string& input = options.standardInput;
    if (input.empty())
        in.closeEnd(1);

    using Clock = std::chrono::steady_clock;
    auto deadline = options.timeLimit
                        ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(*options.timeLimit))
                        : Clock::time_point::max();
    char buffer[1 << 16];

    while (out.fds[0] >= 0 || err.fds[0] >= 0 || in.fds[1] >= 0) {
        pollfd fds[3];
        int count = 0;
        if (in.fds[1] >= 0)
            fds[count++] = {in.fds[1], POLLOUT, 0};
        if (out.fds[0] >= 0)
            fds[count++] = {out.fds[0], POLLIN, 0};
        if (err.fds[0] >= 0)
            fds[count++] = {err.fds[0], POLLIN, 0};
        int timeout = -1;
        if (options.timeLimit) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                result.timedOut = true;
                break;
            }
            timeout = int(std::min<long long>(left.count() + 1, 1 << 30));
        }
        int ready = ::poll(fds, nfds_t(count), timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < count; ++i) {
            if (!fds[i].revents)
                continue;
            int fd = fds[i].fd;
            if (fd == in.fds[1]) {
                ssize_t n = ::write(fd, input.data() + written, input.size() - written);
                if (n > 0)
                    written += std::size_t(n);
                if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size() ||
                    (fds[i].revents & (POLLERR | POLLHUP)))
                    in.closeEnd(1);
                continue;
            }
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                (fd == out.fds[0] ? result.standardOutput : result.standardError)
                    .append(buffer, std::size_t(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                if (fd == out.fds[0])
                    out.closeEnd(0);
                else
                    err.closeEnd(0);
            }
        }
    }

    if (result.timedOut) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitStatus = -1;
        result.terminationSignal = WTERMSIG(status);
    }
    return result;
}
