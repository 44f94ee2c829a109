#include "HVPseudoTerminal.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view secretMask = "********";
constexpr std::size_t chunkSize = 1023;
// The reading thread wakes this often to notice a child gone while a grandchild keeps the
// terminal open, and a stall.
constexpr int pollSliceMilliseconds = 250;
constexpr int writeLimitMilliseconds = 5000;
// A client asked to close gets this long after the hang-up before it is killed.
constexpr int closingGraceMilliseconds = 2000;
// How long a line that ends like a question must stay alone before it counts as one.
constexpr int inputQuietMilliseconds = 50;

long long nowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

std::string macRomanToUtf8(std::string_view bytes) {
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open("macintosh", &status);
    if (U_SUCCESS(status)) {
        std::u16string units(bytes.size() + 1, u'\0');
        const int32_t length =
            ucnv_toUChars(converter, reinterpret_cast<UChar*>(units.data()), int32_t(units.size()),
                          bytes.data(), int32_t(bytes.size()), &status);
        ucnv_close(converter);
        if (U_SUCCESS(status)) {
            out.resize(std::size_t(length) * 3 + 1);
            int32_t needed = 0;
            u_strToUTF8(out.data(), int32_t(out.size()), &needed,
                        reinterpret_cast<const UChar*>(units.data()), length, &status);
            if (U_SUCCESS(status)) {
                out.resize(std::size_t(needed));
                return out;
            }
        }
    }
    // Without the converter, read the bytes as Latin-1 rather than lose them.
    out.clear();
    for (unsigned char c : bytes) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    }
    return out;
}

std::size_t sequenceLength(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

bool isValidSequence(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    char32_t value = byte(0) & (0xFF >> (text.size() + 1));
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (!isContinuation(byte(i)))
            return false;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    return value >= minimum[text.size()] && value <= 0x10FFFF &&
           !(value >= 0xD800 && value <= 0xDFFF);
}

// Appends bytes as UTF-8: valid sequences as they are, anything else read as Mac OS Roman.
// An incomplete sequence at the end waits in held for the next bytes.
std::string decode(std::string& held, std::string_view bytes, bool final) {
    std::string input = std::move(held);
    held.clear();
    input.append(bytes);
    std::string out;
    std::string invalid;
    const auto flushInvalid = [&] {
        if (!invalid.empty())
            out += macRomanToUtf8(invalid);
        invalid.clear();
    };
    std::size_t i = 0;
    while (i < input.size()) {
        const unsigned char c = static_cast<unsigned char>(input[i]);
        if (c < 0x80) {
            flushInvalid();
            out += char(c);
            ++i;
            continue;
        }
        const std::size_t length = sequenceLength(c);
        if (length == 0) {
            invalid += char(c);
            ++i;
            continue;
        }
        if (i + length > input.size()) {
            const bool prefix = std::all_of(input.begin() + std::ptrdiff_t(i) + 1, input.end(),
                                            [](char b) { return isContinuation(b); });
            if (prefix && !final) {
                held = input.substr(i);
                break;
            }
            invalid += char(c);
            ++i;
            continue;
        }
        const std::string_view sequence(input.data() + i, length);
        if (isValidSequence(sequence)) {
            flushInvalid();
            out.append(sequence);
            i += length;
        } else {
            invalid += char(c);
            ++i;
        }
    }
    flushInvalid();
    return out;
}

// The text after terminal escape sequences at its start (readline brackets its prompt in
// some).
std::string_view withoutLeadingEscapes(std::string_view text) {
    while (!text.empty() && (text[0] == '\x1b' || text[0] == '\r')) {
        if (text[0] == '\r') {
            text.remove_prefix(1);
            continue;
        }
        if (text.size() < 2)
            return text;
        std::size_t i = 2;
        if (text[1] == '[') {
            while (i < text.size() && text[i] >= 0x30 && text[i] <= 0x3F)
                ++i;
            while (i < text.size() && text[i] >= 0x20 && text[i] <= 0x2F)
                ++i;
            if (i >= text.size() || text[i] < 0x40 || text[i] > 0x7E)
                return text;
            ++i;
        } else if (text[1] == ']') {
            const std::size_t bell = text.find('\a', 2);
            const std::size_t terminator = text.find("\x1b\\", 2);
            if (bell == std::string_view::npos && terminator == std::string_view::npos)
                return text;
            i = bell < terminator ? bell + 1 : terminator + 2;
        }
        text.remove_prefix(i);
    }
    return text;
}

// "Password:", and the questions a client asks before it goes on: ssh's "…(yes/no/
// [fingerprint])?" and cadaver's "…certificate? (y/n)".
bool asksForInput(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return !text.empty() && (text.back() == ':' || text.back() == '?' || text.ends_with("(y/n)"));
}

void replaceAll(std::string& text, std::string_view what, std::string_view with) {
    std::size_t at = 0;
    while ((at = text.find(what, at)) != std::string::npos) {
        text.replace(at, what.size(), with);
        at += with.size();
    }
}

} // namespace

HVPseudoTerminal::HVPseudoTerminal(Hooks hooks) : m_hooks(std::move(hooks)) {}

HVPseudoTerminal::~HVPseudoTerminal() {
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) {
        std::fputs("HVPseudoTerminal: destroyed from its own reading thread (inside a delegate "
                   "call); hand the destruction to another thread\n",
                   stderr);
        std::abort();
    }
    m_state.store(HVConnectionState::Killed);
    signalChild(SIGKILL, true);
    if (m_thread.joinable())
        m_thread.join();
}

bool HVPseudoTerminal::launch(const Options& options, HVError* error) {
    {
        std::lock_guard lock(m_runMutex);
        if (m_running) {
            HVSetError(error, HVError::posix(EBUSY, options.program, "Cannot start"));
            return false;
        }
    }
    if (m_thread.joinable())
        m_thread.join();

    // Built before forking: the child of a threaded process may only make async-signal-safe
    // calls.
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry)
        environment.emplace_back(*entry);
    for (const std::string& entry : options.environment) {
        const std::string name = entry.substr(0, entry.find('=')) + "=";
        std::erase_if(environment, [&](const std::string& e) { return e.starts_with(name); });
        environment.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments{options.program};
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const char* directory =
        options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();

    // The child reports a failed chdir or exec here; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        HVSetError(error, HVError::posix(errno, options.program, "Cannot start"));
        return false;
    }
    int master = -1;
    std::unique_lock pidLock(m_pidMutex);
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) {
        const int saved = errno;
        ::close(report[0]);
        ::close(report[1]);
        HVSetError(error, HVError::posix(saved, options.program, "Cannot start"));
        return false;
    }
    if (pid == 0) {
        ::close(report[0]);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGHUP, SIG_DFL);
        ::signal(SIGQUIT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        int failure[2] = {0, 0};
        if (directory && ::chdir(directory) != 0) {
            failure[1] = errno;
        } else {
            ::execvpe(argv[0], argv.data(), envp.data());
            failure[0] = 1;
            failure[1] = errno;
        }
        [[maybe_unused]] ssize_t written = ::write(report[1], failure, sizeof failure);
        ::_exit(127);
    }
    ::close(report[1]);
    int failure[2] = {0, 0};
    ssize_t got;
    while ((got = ::read(report[0], failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == ssize_t(sizeof failure)) {
        ::close(master);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        HVSetError(error, failure[0] ? HVError::posix(failure[1], options.program, "Cannot start")
                                     : HVError::posix(failure[1], options.workingDirectory,
                                                      "Cannot change to the folder"));
        return false;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    m_pid = pid;
    m_exitStatus.reset();
    pidLock.unlock();

    {
        std::lock_guard lock(m_writeMutex);
        m_master = master;
    }
    {
        // The command typed into the previous client will never finish; later ones wait for
        // this client's first prompt.
        std::lock_guard lock(m_queueMutex);
        if (m_inFlight && !m_queue.empty())
            m_queue.pop_front();
        m_inFlight = false;
    }
    m_options = options;
    m_timedOut.store(false);
    m_state.store(HVConnectionState::Launched);
    m_lastActivity.store(nowMilliseconds());
    {
        std::lock_guard lock(m_runMutex);
        m_running = true;
    }
    m_thread = std::thread([this] { read(); });
    return true;
}

void HVPseudoTerminal::writeCommand(std::string_view command, bool secret) {
    if (secret && !command.empty()) {
        std::lock_guard lock(m_secretMutex);
        m_secrets.emplace_back(command);
        // Longest first, so that a secret holding another is masked whole.
        std::sort(m_secrets.begin(), m_secrets.end(),
                  [](const auto& a, const auto& b) { return a.size() > b.size(); });
    }
    std::unique_lock lock(m_queueMutex);
    m_queue.push_back({std::string(command), secret});
    if (m_inFlight || m_queue.size() != 1)
        return;
    {
        std::lock_guard writeLock(m_writeMutex);
        if (m_master < 0)
            return; // Typed at the first prompt of the next launch.
    }
    m_lastActivity.store(nowMilliseconds());
    m_inFlight = true;
    const std::string line = m_queue.front().text;
    // Taking the write lock before letting go of the queue keeps lines in queue order.
    std::unique_lock writeLock(m_writeMutex);
    lock.unlock();
    typeLine(line + "\n");
}

// Called with m_writeMutex held.
void HVPseudoTerminal::typeLine(const std::string& line) {
    std::size_t done = 0;
    const long long deadline = nowMilliseconds() + writeLimitMilliseconds;
    while (m_master >= 0 && done < line.size()) {
        const ssize_t n = ::write(m_master, line.data() + done, line.size() - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return;
        const long long left = deadline - nowMilliseconds();
        if (left <= 0)
            return;
        pollfd fd{m_master, POLLOUT, 0};
        ::poll(&fd, 1, int(left));
    }
}

void HVPseudoTerminal::close() {
    HVConnectionState state = m_state.load();
    while (state < HVConnectionState::Closing) {
        if (m_state.compare_exchange_weak(state, HVConnectionState::Closing)) {
            std::lock_guard lock(m_writeMutex);
            typeLine("\n");
            return;
        }
    }
}

void HVPseudoTerminal::kill() {
    m_state.store(HVConnectionState::Killed);
    signalChild(SIGKILL, true);
}

void HVPseudoTerminal::cancel() {
    signalChild(SIGINT, false);
}

void HVPseudoTerminal::signalChild(int signal, bool wholeGroup) {
    std::lock_guard lock(m_pidMutex);
    if (m_pid <= 0)
        return;
    // The client is a session leader; its group holds what it started (ssh under sftp).
    if (wholeGroup)
        ::kill(-m_pid, signal);
    ::kill(m_pid, signal);
}

void HVPseudoTerminal::setStallTimeout(double seconds) {
    m_stallMilliseconds.store(seconds > 0 ? std::max(1LL, (long long)(seconds * 1000)) : 0);
}

pid_t HVPseudoTerminal::pid() const {
    std::lock_guard lock(m_pidMutex);
    return m_pid;
}

bool HVPseudoTerminal::waitUntilExit(double seconds) {
    std::unique_lock lock(m_runMutex);
    return m_runCondition.wait_for(lock, std::chrono::duration<double>(seconds),
                                   [&] { return !m_running; });
}

std::optional<int> HVPseudoTerminal::exitStatus() const {
    std::lock_guard lock(m_pidMutex);
    return m_exitStatus;
}

std::string HVPseudoTerminal::masked(std::string text) const {
    std::lock_guard lock(m_secretMutex);
    for (const std::string& secret : m_secrets)
        replaceAll(text, secret, secretMask);
    return text;
}

void HVPseudoTerminal::logOutput(std::string text, bool final) {
    if (!m_hooks.output)
        return;
    std::string out = masked(m_logHeld + text);
    m_logHeld.clear();
    if (!final) {
        // A secret split between two reads must not reach the log half unmasked.
        std::size_t hold = 0;
        std::lock_guard lock(m_secretMutex);
        for (const std::string& secret : m_secrets) {
            for (std::size_t k = std::min(secret.size() - 1, out.size()); k > hold; --k) {
                if (std::string_view(out).substr(out.size() - k) ==
                    std::string_view(secret).substr(0, k)) {
                    hold = k;
                    break;
                }
            }
        }
        m_logHeld = out.substr(out.size() - hold);
        out.resize(out.size() - hold);
    }
    if (!out.empty())
        m_hooks.output(out);
}

std::optional<long long> HVPseudoTerminal::stallLeft() const {
    const long long limit = m_stallMilliseconds.load();
    if (limit <= 0)
        return std::nullopt;
    // A client that was just started owes us its first prompt: one that never shows it has
    // stalled as surely as one that stops in the middle of a reply.
    const HVConnectionState state = m_state.load();
    bool waiting = state == HVConnectionState::Reading || state == HVConnectionState::Launched;
    long long since = 0;
    {
        std::lock_guard lock(m_queueMutex);
        waiting = waiting || m_inFlight;
        since = m_lastActivity.load();
    }
    // Idle at the prompt nothing can stall.
    if (!waiting)
        return std::nullopt;
    return since + limit - nowMilliseconds();
}

void HVPseudoTerminal::read() {
    std::vector<std::string> lines;
    std::string buffer;
    const Ending ending = readUntilEnd(lines, buffer);
    {
        std::lock_guard lock(m_writeMutex);
        ::close(m_master);
        m_master = -1;
    }
    const int status = reap(ending);
    if (ending == Ending::TimedOut) {
        if (m_hooks.timedOut)
            m_hooks.timedOut();
    } else {
        if (!buffer.empty())
            lines.push_back(masked(buffer));
        if (!lines.empty() && m_hooks.finishedCommand)
            m_hooks.finishedCommand(lines, status != 0);
        if (m_hooks.ended)
            m_hooks.ended(m_state.load());
    }
    std::lock_guard lock(m_runMutex);
    m_running = false;
    m_runCondition.notify_all();
}

HVPseudoTerminal::Ending HVPseudoTerminal::readUntilEnd(std::vector<std::string>& lines,
                                                        std::string& buffer) {
    std::string heldBytes;
    char chunk[chunkSize];
    bool childGone = false;
    long long closingSince = 0;
    Ending ending = Ending::EndOfOutput;
    for (;;) {
        int wait = childGone ? 0 : pollSliceMilliseconds;
        if (const auto left = stallLeft(); left && !childGone)
            wait = int(std::clamp<long long>(*left, 1, pollSliceMilliseconds));
        pollfd fd{m_master, POLLIN, 0};
        const int ready = ::poll(&fd, 1, wait);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0) {
            if (childGone)
                break;
            if (const auto left = stallLeft(); left && *left <= 0) {
                m_timedOut.store(true);
                signalChild(SIGKILL, true);
                ending = Ending::TimedOut;
                break;
            }
            if (m_state.load() == HVConnectionState::Closing) {
                // A client that does not answer the empty line is hung up on all the same.
                closingSince = closingSince ? closingSince : nowMilliseconds();
                if (nowMilliseconds() - closingSince >= closingGraceMilliseconds) {
                    ending = Ending::Closing;
                    break;
                }
            }
            std::lock_guard lock(m_pidMutex);
            siginfo_t info{};
            // Noticed here only when something else keeps the terminal open.
            childGone = ::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                        info.si_pid != 0;
            continue;
        }
        HVConnectionState state = m_state.load();
        if (state == HVConnectionState::Closing) {
            ending = Ending::Closing;
            break;
        }
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            break;
        m_lastActivity.store(nowMilliseconds());
        while (state != HVConnectionState::Killed && state != HVConnectionState::Closing &&
               !m_state.compare_exchange_weak(state, HVConnectionState::Reading)) {
        }
        std::string text = decode(heldBytes, std::string_view(chunk, std::size_t(n)), false);
        logOutput(text, false);
        buffer += text;
        takeLines(lines, buffer);
    }
    std::string rest = decode(heldBytes, {}, true);
    logOutput(rest, true);
    buffer += rest;
    return ending;
}

void HVPseudoTerminal::takeLines(std::vector<std::string>& lines, std::string& buffer) {
    std::size_t start = 0;
    for (std::size_t end; (end = buffer.find('\n', start)) != std::string::npos; start = end + 1) {
        std::size_t length = end - start;
        if (length > 0 && buffer[end - 1] == '\r')
            --length;
        lines.push_back(masked(buffer.substr(start, length)));
    }
    buffer.erase(0, start);
    if (buffer.empty())
        return;
    if (m_options.prompt && withoutLeadingEscapes(buffer).starts_with(*m_options.prompt)) {
        buffer.clear();
        finishCommand(lines, HVConnectionState::AtPrompt);
    } else if (asksForInput(buffer) && !moreOutputFollows() && m_hooks.expectsInput &&
               m_hooks.expectsInput()) {
        lines.push_back(masked(std::move(buffer)));
        buffer.clear();
        finishCommand(lines, HVConnectionState::WaitingForInput);
    }
}

// A client that asks for input then waits; one that wrote "ftp: " as the first piece of an
// error message goes on writing at once. Without this pause such a piece passes for a
// question.
bool HVPseudoTerminal::moreOutputFollows() const {
    pollfd fd{m_master, POLLIN, 0};
    return ::poll(&fd, 1, inputQuietMilliseconds) > 0 && (fd.revents & POLLIN);
}

void HVPseudoTerminal::finishCommand(std::vector<std::string>& lines, HVConnectionState reached) {
    HVConnectionState reading = HVConnectionState::Reading;
    m_state.compare_exchange_strong(reading, reached);
    {
        // Retired before the delegate hears of it: a command it writes from another thread
        // meanwhile must not be taken for the one that just finished.
        std::lock_guard lock(m_queueMutex);
        if (m_inFlight && !m_queue.empty())
            m_queue.pop_front();
        m_inFlight = false;
    }
    if (m_hooks.finishedCommand)
        m_hooks.finishedCommand(lines, false);
    lines.clear();

    std::unique_lock lock(m_queueMutex);
    if (m_inFlight || m_queue.empty())
        return;
    m_inFlight = true;
    m_lastActivity.store(nowMilliseconds());
    const std::string line = m_queue.front().text;
    std::unique_lock writeLock(m_writeMutex);
    lock.unlock();
    typeLine(line + "\n");
}

int HVPseudoTerminal::reap(Ending ending) {
    pid_t pid;
    {
        std::lock_guard lock(m_pidMutex);
        pid = m_pid;
    }
    siginfo_t info{};
    if (ending == Ending::Closing) {
        // Closing the terminal hung the client up; one that ignores that is killed.
        const long long deadline = nowMilliseconds() + closingGraceMilliseconds;
        for (;;) {
            info.si_pid = 0;
            if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                info.si_pid != 0)
                break;
            if (nowMilliseconds() >= deadline) {
                signalChild(SIGKILL, true);
                break;
            }
            ::usleep(10000);
        }
    }
    // Waits without the lock, leaving the zombie, so that kill() can still reach the child;
    // the pid is released under the lock.
    while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    std::lock_guard lock(m_pidMutex);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = 0;
    m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return *m_exitStatus;
}
