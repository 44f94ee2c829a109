#include "HVRemoteFilesConnection.h"

#include "HVPseudoTerminal.h"
#include "HVRemoteLogController.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double defaultStallTimeout = 30;

bool isExecutable(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// A readline settings file that keeps clients from bracketing their prompts in escapes.
// Written once per process into a folder only we can enter.
std::string inputrcPath() {
    static const std::string path = []() -> std::string {
        const char* base = std::getenv("TMPDIR");
        std::string folder = std::string(base && *base ? base : "/tmp") + "/halvet-XXXXXX";
        if (!::mkdtemp(folder.data()))
            return "/dev/null";
        std::string file = folder + "/inputrc";
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return "/dev/null";
        static constexpr std::string_view text = "set enable-bracketed-paste off\n";
        const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
        ::close(fd);
        return written ? file : "/dev/null";
    }();
    return path;
}

bool isTypable(std::string_view line) {
    return line.size() <= HVRemoteFilesConnection::maximumCommandLength &&
           std::none_of(line.begin(), line.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte < 0x20 || byte == 0x7F;
           });
}

} // namespace

HVRemoteFilesConnection::HVRemoteFilesConnection(HVRemoteProtocol type) : m_type(type) {
    HVPseudoTerminal::Hooks hooks;
    hooks.finishedCommand = [this](const std::vector<std::string>& lines, bool) {
        if (const auto d = delegate())
            d->finishedCommand(*this, lines);
    };
    hooks.expectsInput = [this] {
        const auto d = delegate();
        return d && d->willNeedInput(*this);
    };
    hooks.output = [this](std::string_view text) {
        std::shared_ptr<HVRemoteLogController> log;
        {
            std::lock_guard lock(m_peerMutex);
            log = m_log.lock();
        }
        if (log)
            log->appendStringToLog(text);
    };
    hooks.timedOut = [this] {
        if (const auto d = delegate())
            d->timedOut(*this);
    };
    hooks.ended = [this](HVConnectionState state) {
        // An action still waiting for output would otherwise wait forever.
        if (state == HVConnectionState::Closing)
            return;
        if (const auto d = delegate())
            d->clientExited(*this);
    };
    m_terminal = std::make_unique<HVPseudoTerminal>(std::move(hooks));
    m_terminal->setStallTimeout(defaultStallTimeout);
}

HVRemoteFilesConnection::~HVRemoteFilesConnection() {
    {
        std::lock_guard lock(m_peerMutex);
        m_delegate.reset();
        m_log.reset();
    }
    m_terminal.reset();
}

std::string HVRemoteFilesConnection::programPath(HVRemoteProtocol type) {
    switch (type) {
    case HVRemoteProtocol::FTP:
        return "/usr/bin/ftp";
    case HVRemoteProtocol::SFTP:
        return "/usr/bin/sftp";
    case HVRemoteProtocol::WebDAV:
        break;
    }
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string beside(self, std::size_t(length));
        beside = beside.substr(0, beside.rfind('/') + 1) + "cadaver";
        if (isExecutable(beside))
            return beside;
    }
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        std::string folder(folders.substr(0, colon));
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        if (folder.empty())
            continue;
        std::string candidate = folder + "/cadaver";
        if (isExecutable(candidate))
            return candidate;
    }
    return "cadaver";
}

std::string_view HVRemoteFilesConnection::prompt(HVRemoteProtocol type) {
    switch (type) {
    case HVRemoteProtocol::FTP:
        return "ftp>";
    case HVRemoteProtocol::SFTP:
        return "sftp>";
    case HVRemoteProtocol::WebDAV:
        return "dav:";
    }
    return "ftp>";
}

HVConnectionState HVRemoteFilesConnection::state() const {
    return m_terminal->state();
}

bool HVRemoteFilesConnection::launch(std::vector<std::string> arguments, HVError* error) {
    HVPseudoTerminal::Options options = m_terminal->settings();
    options.program = programPath(m_type);
    options.arguments = std::move(arguments);
    options.prompt = std::string(prompt(m_type));
    options.environment.insert(options.environment.begin(),
                               {"TERM=dumb", "INPUTRC=" + inputrcPath()});
    return m_terminal->launch(options, error);
}

bool HVRemoteFilesConnection::writeCommand(std::string_view command) {
    if (state() == HVConnectionState::Killed || !isTypable(command))
        return false;
    m_terminal->writeCommand(command, false);
    return true;
}

bool HVRemoteFilesConnection::writeSecret(std::string_view secret) {
    if (state() == HVConnectionState::Killed || !isTypable(secret))
        return false;
    m_terminal->writeCommand(secret, true);
    return true;
}

void HVRemoteFilesConnection::close() {
    m_terminal->close();
}

void HVRemoteFilesConnection::kill() {
    m_terminal->kill();
}

void HVRemoteFilesConnection::cancel() {
    m_terminal->cancel();
}

void HVRemoteFilesConnection::setStallTimeout(double seconds) {
    m_terminal->setStallTimeout(seconds);
}

bool HVRemoteFilesConnection::hasTimedOut(int statusCode) const {
    if (m_terminal->hasTimedOut())
        return true;
    switch (m_type) {
    case HVRemoteProtocol::FTP:
        return statusCode == 421;
    case HVRemoteProtocol::WebDAV:
        return statusCode == 408 || statusCode == 504;
    case HVRemoteProtocol::SFTP:
        break;
    }
    return false;
}

void HVRemoteFilesConnection::setEnvironment(std::vector<std::string> entries) {
    m_terminal->settings().environment = std::move(entries);
}

void HVRemoteFilesConnection::setDelegate(std::weak_ptr<HVRemoteFilesConnectionDelegate> delegate) {
    std::lock_guard lock(m_peerMutex);
    m_delegate = std::move(delegate);
}

void HVRemoteFilesConnection::clearDelegate(const HVRemoteFilesConnectionDelegate* delegate) {
    std::lock_guard lock(m_peerMutex);
    if (m_delegate.lock().get() == delegate)
        m_delegate.reset();
}

void HVRemoteFilesConnection::setLog(std::weak_ptr<HVRemoteLogController> log) {
    std::lock_guard lock(m_peerMutex);
    m_log = std::move(log);
}

std::shared_ptr<HVRemoteFilesConnectionDelegate> HVRemoteFilesConnection::delegate() {
    std::lock_guard lock(m_peerMutex);
    return m_delegate.lock();
}

pid_t HVRemoteFilesConnection::pid() const {
    return m_terminal->pid();
}

bool HVRemoteFilesConnection::waitUntilExit(double seconds) {
    return m_terminal->waitUntilExit(seconds);
}
