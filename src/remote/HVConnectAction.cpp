#include "HVConnectAction.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view hostKeyQuestion = "Are you sure you want to continue connecting";
// cadaver's question about a certificate that no authority vouches for (https).
constexpr std::string_view certificateQuestion = "accept the certificate";
constexpr std::string_view hostKeyChanged = "REMOTE HOST IDENTIFICATION HAS CHANGED";

std::string joined(const std::vector<std::string>& lines) {
    std::string result;
    for (const std::string& line : lines) {
        std::string_view text = line;
        while (!text.empty() && (text.back() == '\r' || text.back() == ' '))
            text.remove_suffix(1);
        if (text.empty())
            continue;
        if (!result.empty())
            result += '\n';
        result += text;
    }
    return result;
}

bool contains(const std::vector<std::string>& lines, std::string_view text) {
    for (const std::string& line : lines)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

// Every character outside unreserved ones and "/" is percent-escaped.
std::string escapedURLPath(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string result;
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            result += c;
        } else {
            result += '%';
            result += hex[byte >> 4];
            result += hex[byte & 0xF];
        }
    }
    return result;
}

} // namespace

HVConnectAction::HVConnectAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                 std::string host, int port, std::string user, std::string password,
                                 std::vector<std::string> arguments)
    : HVRemoteFileAction(std::move(connection)), m_host(std::move(host)), m_port(port),
      m_user(std::move(user)), m_password(std::move(password)), m_arguments(std::move(arguments)) {}

std::shared_ptr<HVConnectAction>
HVConnectAction::make(std::shared_ptr<HVRemoteFilesConnection> connection, std::string host,
                      int port, std::string user, std::string password,
                      std::vector<std::string> arguments) {
    HVRemoteProtocol protocol = connection ? connection->type() : HVRemoteProtocol::FTP;
    switch (protocol) {
    case HVRemoteProtocol::SFTP:
        return std::make_shared<HVSFTPConnectAction>(std::move(connection), std::move(host), port,
                                                     std::move(user), std::move(password),
                                                     std::move(arguments));
    case HVRemoteProtocol::WebDAV:
        return std::make_shared<HVWebDAVConnectAction>(std::move(connection), std::move(host), port,
                                                       std::move(user), std::move(password),
                                                       std::move(arguments));
    case HVRemoteProtocol::FTP:
        break;
    }
    return std::make_shared<HVFTPConnectAction>(std::move(connection), std::move(host), port,
                                                std::move(user), std::move(password),
                                                std::move(arguments));
}

std::shared_ptr<HVConnectAction> HVConnectAction::clone() const {
    auto copy = make(connection(), m_host, m_port, m_user, m_password, m_arguments);
    copy->m_webDAVPath = m_webDAVPath;
    copy->m_webDAVScheme = m_webDAVScheme;
    copy->m_hostKeyApproval = m_hostKeyApproval;
    inheritSink(*copy);
    return copy;
}

bool HVConnectAction::hostIsTypable() const {
    if (m_host.empty() || m_host.front() == '-')
        return false;
    for (char c : m_host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' &&
            c != '[' && c != ']' && c != '_')
            return false;
    return true;
}

bool HVConnectAction::launchWith(std::vector<std::string> arguments) {
    m_launchArguments = arguments;
    if (launchClient(std::move(arguments)))
        return true;
    fail(0, reason().empty() ? "The client could not be started." : reason());
    return false;
}

std::string HVConnectAction::errorDescription() const {
    return "Could Not Connect";
}

std::string HVConnectAction::errorSuggestion(int) const {
    return "Halvet could not connect to remote host \"" + m_host +
           "\". The host may not exist or may be unreachable.";
}

// FTP.

void HVFTPConnectAction::start() {
    if (!hostIsTypable())
        return fail(0, "The host name \"" + m_host + "\" cannot be typed safely.");
    std::vector<std::string> arguments = {"-n", "-e", "-g", "-v"};
    arguments.insert(arguments.end(), m_arguments.begin(), m_arguments.end());
    launchWith(std::move(arguments));
}

void HVFTPConnectAction::handleReply(const std::vector<std::string>& lines, bool atPrompt) {
    if (m_state == Started && atPrompt) {
        m_state = OpenSent;
        if (!type("open " + m_host + " " + std::to_string(m_port > 0 ? m_port : 21)))
            fail(0, "The client did not accept the command.");
        return;
    }
    if (m_rememberedError && atPrompt)
        return fail(*m_rememberedError, m_rememberedReason);
    int code = statusCode(lines, false);
    if (statusCodeIsError(code) || (m_state <= OpenSent && code == 0)) {
        m_rememberedError = code;
        m_rememberedReason = joined(lines);
        if (atPrompt)
            fail(code, m_rememberedReason);
        return;
    }
    bool typed = true;
    switch (code) {
    case 220: {
        // With -n tnftp asks for no name itself: the login starts with its "user" command.
        std::string name = m_user.empty() ? std::string("anonymous") : m_user;
        std::string quotedName = "\"";
        for (char c : name)
            quotedName += c == '"' ? std::string("\"\\\"\"") : std::string(1, c);
        m_state = UserSent;
        typed = type("user " + quotedName + "\"");
        break;
    }
    case 331:
        m_state = PasswordSent;
        typed = typeSecret(m_password);
        break;
    case 230: {
        m_state = SettingUp;
        bool active = std::find(m_arguments.begin(), m_arguments.end(), "-A") != m_arguments.end();
        m_setUpCommands = {active ? "passive off" : "passive auto", "epsv4 off", "preserve on",
                           "progress off"};
        typed = type(m_setUpCommands.front());
        break;
    }
    default:
        if (m_state == SettingUp && m_setUpCommands.size() > 1) {
            m_setUpCommands.erase(m_setUpCommands.begin());
            typed = type(m_setUpCommands.front());
        } else if (m_state == SettingUp) {
            m_state = Done;
            if (atPrompt)
                finish(true, code);
        } else if (atPrompt) {
            // Back at the prompt without getting further: waiting would only time out.
            fail(code, joined(lines));
        }
        break;
    }
    if (!typed)
        fail(0, "The client did not accept the command.");
}

// SFTP.

void HVSFTPConnectAction::start() {
    if (!hostIsTypable())
        return fail(0, "The host name \"" + m_host + "\" cannot be used.");
    for (char c : m_user)
        if (c == '@' || static_cast<unsigned char>(c) < 0x20)
            return fail(0, "The user name \"" + m_user + "\" cannot be used.");
    if (!m_user.empty() && m_user.front() == '-')
        return fail(0, "The user name \"" + m_user + "\" cannot be used.");
    std::vector<std::string> arguments = m_arguments;
    arguments.push_back("-oPort=" + std::to_string(m_port > 0 ? m_port : 22));
    arguments.push_back(m_user.empty() ? m_host : m_user + "@" + m_host);
    if (launchWith(std::move(arguments)))
        m_state = OpenSent;
}

void HVSFTPConnectAction::handleReply(const std::vector<std::string>& lines, bool atPrompt) {
    if (contains(lines, hostKeyChanged))
        return fail(0, joined(lines));
    if (contains(lines, hostKeyQuestion)) {
        std::string question = joined(lines);
        if (m_hostKeyApproval && m_hostKeyApproval(question)) {
            if (!type("yes"))
                fail(0, "The client did not accept the answer.");
            return;
        }
        type("no");
        std::string fingerprint;
        for (const std::string& line : lines)
            if (line.find("fingerprint is") != std::string::npos)
                fingerprint = joined({line});
        return fail(0, "The host key was not accepted. " +
                           (fingerprint.empty() ? question : fingerprint));
    }
    if (!atPrompt) {
        if (m_state < PasswordSent) {
            m_state = PasswordSent;
            if (!typeSecret(m_password))
                fail(0, "The client did not accept the password.");
            return;
        }
        killClient();
        return fail(0, joined(lines).empty() ? "The server refused the password."
                                             : "The server refused the password: " + joined(lines));
    }
    if (contains(lines, "Connection closed") || contains(lines, "Connection refused")) {
        return fail(0, joined(lines));
    }
    m_state = Done;
    finish(true, 0);
}

// WebDAV.

void HVWebDAVConnectAction::start() {
    if (!hostIsTypable())
        return fail(0, "The host name \"" + m_host + "\" cannot be typed safely.");
    if (m_webDAVScheme != "http" && m_webDAVScheme != "https")
        return fail(0, "The scheme \"" + m_webDAVScheme + "\" is neither http nor https.");
    launchWith(m_arguments);
}

void HVWebDAVConnectAction::handleReply(const std::vector<std::string>& lines, bool atPrompt) {
    if (m_rememberedError && atPrompt)
        return fail(*m_rememberedError, m_rememberedReason);
    int code = statusCode(lines, true);
    if (statusCodeIsError(code)) {
        m_rememberedError = code;
        m_rememberedReason = joined(lines);
        if (atPrompt)
            fail(code, m_rememberedReason);
        return;
    }
    if (m_state == Started && atPrompt) {
        m_state = OpenSent;
        std::string path = m_webDAVPath.empty() ? "/" : m_webDAVPath;
        if (path.front() != '/')
            path.insert(0, "/");
        if (path.back() != '/')
            path += '/';
        std::string address = m_webDAVScheme + "://" + m_host;
        if (m_port > 0)
            address += ":" + std::to_string(m_port);
        address += escapedURLPath(path);
        if (!type("open " + address))
            fail(0, "The client did not accept the command.");
        return;
    }
    if (!atPrompt && contains(lines, certificateQuestion)) {
        // The person decides, as for an SSH host key; nothing here says yes on its own.
        const bool trusted = m_hostKeyApproval && m_hostKeyApproval(joined(lines));
        if (!type(trusted ? "y" : "n"))
            fail(0, "The client did not accept the command.");
        else if (!trusted)
            m_rememberedReason = "The server's certificate was not trusted: " + joined(lines);
        return;
    }
    if (!atPrompt) {
        bool typed = true;
        if (m_state == OpenSent) {
            m_state = UserSent;
            typed = type(m_user);
        } else if (m_state == UserSent) {
            m_state = PasswordSent;
            typed = typeSecret(m_password);
        } else if (m_state == PasswordSent && ++m_refusals < 2) {
            m_state = UserSent;
            typed = type(m_user);
        } else {
            killClient();
            return fail(401, "The server refused the user name and password.");
        }
        if (!typed)
            fail(0, "The client did not accept the command.");
        return;
    }
    if (contains(lines, "Could not") || contains(lines, "could not")) {
        return fail(code, joined(lines));
    }
    m_state = Done;
    finish(true, code);
}
