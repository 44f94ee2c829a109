#include "HVRemoteFileAction.h"

#include <array>
#include <cctype>

namespace {

std::string_view trimmedEnd(std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

// The code a reply line starts with ("NNN" then neither a digit nor a letter), or 0.
int codeOfLine(std::string_view line) {
    if (line.size() < 4)
        return 0;
    if (line[0] < '1' || line[0] > '5' || line[1] < '0' || line[1] > '5' || line[2] < '0' ||
        line[2] > '9')
        return 0;
    auto fourth = static_cast<unsigned char>(line[3]);
    if (std::isalnum(fourth))
        return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

// What our commands start with, for recognising the echo when the typed line is not known.
bool looksLikeEcho(std::string_view line) {
    static constexpr std::array<std::string_view, 13> verbs = {
        "ls ",  "cd ",  "rm ",     "rmdir ", "mkdir ", "rename ", "chmod ",
        "get ", "put ", "delete ", "rmcol ", "move ",  "binary"};
    for (std::string_view verb : verbs)
        if (line.starts_with(verb))
            return line.find('"') != std::string_view::npos || verb == "binary";
    return false;
}

bool isEcho(std::string_view line, std::string_view typed) {
    line = trimmedEnd(line);
    if (!typed.empty())
        return line == typed || line.ends_with(typed);
    return looksLikeEcho(line);
}

// sftp's progress meter: "name   100%   16   12.3KB/s   00:00".
bool isProgressLine(std::string_view line) {
    std::size_t percent = line.rfind('%');
    if (percent == std::string_view::npos || percent == 0 ||
        !std::isdigit(static_cast<unsigned char>(line[percent - 1])))
        return false;
    return line.find("/s", percent) != std::string_view::npos;
}

// The reasons sftp (its own status texts and strerror) puts after ": " on a failing line.
bool endsWithFailureReason(std::string_view line) {
    static constexpr std::array<std::string_view, 21> reasons = {
        "No such file or directory",
        "Permission denied",
        "Failure",
        "Bad message",
        "No connection",
        "Connection lost",
        "Operation unsupported",
        "Unknown status",
        "Is a directory",
        "Not a directory",
        "File exists",
        "Directory not empty",
        "Operation not permitted",
        "Read-only file system",
        "No space left on device",
        "Disk quota exceeded",
        "File too large",
        "Invalid argument",
        "Input/output error",
        "Too many levels of symbolic links",
        "File name too long",
    };
    if (line.ends_with('.'))
        line.remove_suffix(1);
    for (std::string_view reason : reasons)
        if (line.ends_with(reason) && line.size() > reason.size() + 2 &&
            line.substr(line.size() - reason.size() - 2, 2) == ": ")
            return true;
    return false;
}

// A line of sftp's output that reports a failure. Lines that repeat names on success (the
// echo, progress, "Fetching ...") are never taken for one.
bool isErrorLine(std::string_view line) {
    line = trimmedEnd(line);
    if (line.starts_with("sftp>") || line.starts_with("Fetching ") ||
        line.starts_with("Uploading ") || line.starts_with("Removing ") ||
        line.starts_with("Changing mode on ") || isProgressLine(line))
        return false;
    if (line.find("Couldn't") != std::string_view::npos ||
        line.find("not found") != std::string_view::npos ||
        line.find("Can't ") != std::string_view::npos)
        return true;
    return endsWithFailureReason(line);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string result;
    for (const std::string& line : lines) {
        if (!result.empty())
            result += '\n';
        result += trimmedEnd(line);
    }
    return result;
}

} // namespace

HVRemoteFileAction::HVRemoteFileAction(std::shared_ptr<HVRemoteFilesConnection> connection)
    : m_connection(std::move(connection)) {
    if (m_connection)
        m_protocol = m_connection->type();
}

HVRemoteFileAction::~HVRemoteFileAction() = default;

void HVRemoteFileAction::run(std::weak_ptr<HVRemoteFileActionDelegate> delegate) {
    m_delegate = std::move(delegate);
    m_finished = false;
    m_succeeded = false;
    m_inputRequested = false;
    m_finalStatusCode = 0;
    m_reason.clear();
    m_lastTyped.clear();
    resetProgress();
    takeConnection();
    start();
}

void HVRemoteFileAction::takeConnection() {
    if (m_connection)
        m_connection->setDelegate(weak_from_this());
}

void HVRemoteFileAction::setCommandSinkForTesting(std::function<bool(std::string_view)> sink) {
    m_sink = std::move(sink);
}

bool HVRemoteFileAction::type(std::string_view command) {
    m_lastTyped = std::string(command);
    if (m_sink)
        return m_sink(command);
    return m_connection && m_connection->writeCommand(command);
}

bool HVRemoteFileAction::typeSecret(std::string_view secret) {
    m_lastTyped.clear();
    if (m_sink)
        return m_sink(secret);
    return m_connection && m_connection->writeSecret(secret);
}

bool HVRemoteFileAction::launchClient(std::vector<std::string> arguments) {
    if (m_sink)
        return true;
    if (!m_connection)
        return false;
    HVError error;
    if (!m_connection->launch(std::move(arguments), &error)) {
        m_reason = error.description();
        return false;
    }
    return true;
}

void HVRemoteFileAction::killClient() {
    if (!m_sink && m_connection)
        m_connection->kill();
}

void HVRemoteFileAction::finish(bool success, int statusCode) {
    if (m_finished)
        return;
    m_finished = true;
    m_succeeded = success;
    m_finalStatusCode = statusCode;
    // The delegate may drop its reference while being told.
    auto keepAlive = weak_from_this().lock();
    if (m_connection)
        m_connection->clearDelegate(this);
    if (auto delegate = m_delegate.lock())
        delegate->actionFinished(*this, success, statusCode);
}

void HVRemoteFileAction::fail(int statusCode, std::string reason) {
    if (!reason.empty())
        m_reason = std::move(reason);
    finish(false, statusCode);
}

bool HVRemoteFileAction::willNeedInput(HVRemoteFilesConnection&) {
    if (m_finished || !wantsInput())
        return false;
    m_inputRequested = true;
    return true;
}

void HVRemoteFileAction::finishedCommand(HVRemoteFilesConnection&,
                                         const std::vector<std::string>& lines) {
    if (m_finished)
        return;
    bool atPrompt = !m_inputRequested;
    m_inputRequested = false;
    // The connection hands over what a client printed before it ended, after reaping it: a
    // transfer cut off there has not succeeded, whatever its last lines say.
    if (!m_sink && m_connection && m_connection->pid() == 0 && !judgesLastWords())
        return fail(0, failingLines(lines));
    handleReply(lines, atPrompt);
}

void HVRemoteFileAction::timedOut(HVRemoteFilesConnection&) {
    fail(0, "The client printed nothing for too long.");
}

void HVRemoteFileAction::clientExited(HVRemoteFilesConnection&) {
    fail(0, "The client ended.");
}

std::optional<std::string> HVRemoteFileAction::quoted(std::string_view path, HVRemoteArgument use) {
    std::string refusal;
    auto argument = HVRemoteCommandQuoting::quote(m_protocol, path, use, &refusal);
    if (!argument)
        fail(0, refusal);
    return argument;
}

void HVRemoteFileAction::typeCommand(std::string_view verb,
                                     const std::vector<std::string>& arguments) {
    std::string refusal;
    auto line = HVRemoteCommandQuoting::commandLine(verb, arguments, &refusal);
    if (!line)
        return fail(0, refusal);
    if (!type(*line))
        fail(0, "The client did not accept the command.");
}

bool HVRemoteFileAction::judgeFileReply(const std::vector<std::string>& lines, int* result) {
    *result = 0;
    if (m_protocol == HVRemoteProtocol::SFTP) {
        auto errors = errorLines(lines, m_lastTyped);
        if (!errors.empty()) {
            fail(0, joined(errors));
            return false;
        }
        return true;
    }
    int code = statusCode(lines, true);
    if (statusCodeIsError(code)) {
        fail(code, failingLines(lines));
        return false;
    }
    *result = code;
    return true;
}

bool HVRemoteFileAction::judgeTransferReply(const std::vector<std::string>& lines, int* result) {
    if (!judgeFileReply(lines, result))
        return false;
    if (m_protocol == HVRemoteProtocol::FTP) {
        bool complete = false;
        for (const std::string& line : lines)
            complete = complete || codeOfLine(line) == 226 || codeOfLine(line) == 250;
        if (!complete) {
            fail(*result, failingLines(lines));
            return false;
        }
    } else if (m_protocol == HVRemoteProtocol::WebDAV) {
        std::vector<std::string> failing;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string_view line = trimmedEnd(lines[i]);
            if (i == 0 && isEcho(line, m_lastTyped))
                continue;
            if (line.ends_with("failed:") || line.ends_with("failed.") ||
                endsWithFailureReason(line))
                failing.push_back(lines[i]);
        }
        if (!failing.empty()) {
            fail(*result, joined(failing));
            return false;
        }
    }
    return true;
}

std::string HVRemoteFileAction::failingLines(const std::vector<std::string>& lines) const {
    std::vector<std::string> failing;
    for (const std::string& line : lines)
        if (statusCodeIsError(codeOfLine(line)))
            failing.push_back(line);
    if (failing.empty())
        failing = errorLines(lines, m_lastTyped);
    if (failing.empty()) {
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (!trimmedEnd(*it).empty() && !isEcho(*it, m_lastTyped)) {
                failing.push_back(*it);
                break;
            }
    }
    return joined(failing);
}

int HVRemoteFileAction::statusCode(const std::vector<std::string>& lines, bool reversed) {
    int result = 0;
    auto consider = [&](const std::string& line) -> bool {
        int code = codeOfLine(line);
        if (!code)
            return false;
        if (line[3] == '-') {
            result = code;
            return true;
        }
        if (code == 226)
            result = 226;
        else if (result == 0)
            result = code;
        return false;
    };
    if (reversed) {
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (consider(*it))
                break;
    } else {
        for (const std::string& line : lines)
            if (consider(line))
                break;
    }
    return result;
}

std::vector<std::string> HVRemoteFileAction::errorLines(const std::vector<std::string>& lines,
                                                        std::string_view typedCommand) {
    std::vector<std::string> errors;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 0 && isEcho(lines[0], typedCommand))
            continue;
        if (isErrorLine(lines[i]))
            errors.push_back(lines[i]);
    }
    return errors;
}

bool HVRemoteFileAction::linesIndicateError(const std::vector<std::string>& lines,
                                            std::string_view typedCommand) {
    return !errorLines(lines, typedCommand).empty();
}

std::string HVRemoteFileAction::errorDescription() const {
    return "Remote Connection Error";
}

std::string HVRemoteFileAction::errorSuggestion(int statusCode) const {
    if (statusCode == 0)
        return "Halvet experienced an unknown error. Please try your operation again";
    return "Halvet received error code " + std::to_string(statusCode) +
           ". Please try your operation again.";
}

HVError HVRemoteFileAction::error(int statusCode) const {
    HVError result(HVErrorDomain, 1, errorDescription(), errorSuggestion(statusCode));
    if (!m_reason.empty())
        result.setUserInfoValue(HVRemoteReasonErrorKey, HVPlistValue(m_reason));
    if (!m_remotePath.empty())
        result.setUserInfoValue(HVFilePathErrorKey, HVPlistValue(m_remotePath));
    return result;
}
