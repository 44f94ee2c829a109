#include "HVRemoteCommand.h"

#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVRemoteFile.h"
#include "HVRemoteFilesQueue.h"
#include "HVRemoteLogController.h"
#include "HVRemoteURL.h"
#include "HVSecretStore.h"

#include <atomic>
#include <charconv>
#include <iostream>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace {

// Hears the queue on its threads and keeps what the command prints at the end.
class Listener : public HVRemoteFilesQueueDelegate {
public:
    void retrievedFiles(HVRemoteFilesQueue&, const std::vector<HVRemoteFile>& files,
                        const std::string&) override {
        std::lock_guard lock(m_mutex);
        m_files = files;
        m_succeeded = true;
    }
    void downloadedFile(HVRemoteFilesQueue&, const std::string&, const std::string&) override {
        succeed();
    }
    void uploadedFile(HVRemoteFilesQueue&, const std::string&, const std::string&) override {
        succeed();
    }
    void movedFile(HVRemoteFilesQueue&, const std::string&, const std::string&) override {
        succeed();
    }
    void deletedFile(HVRemoteFilesQueue&, const std::string&) override { succeed(); }
    void createdDirectory(HVRemoteFilesQueue&, const std::string&) override { succeed(); }
    void openedConnection(HVRemoteFilesQueue&) override { m_opened = true; }
    void hadFatalFailure(HVRemoteFilesQueue&) override { m_fatal = true; }
    void hadError(HVRemoteFilesQueue&, const HVError& error) override {
        std::lock_guard lock(m_mutex);
        if (!m_error)
            m_error = error;
    }
    void closedConnection(HVRemoteFilesQueue&) override { m_closed = true; }

    void succeed() {
        std::lock_guard lock(m_mutex);
        m_succeeded = true;
    }
    bool succeeded() const {
        std::lock_guard lock(m_mutex);
        return m_succeeded;
    }
    std::optional<HVError> error() const {
        std::lock_guard lock(m_mutex);
        return m_error;
    }
    std::vector<HVRemoteFile> files() const {
        std::lock_guard lock(m_mutex);
        return m_files;
    }
    bool closed() const { return m_closed; }
    bool fatal() const { return m_fatal; }
    bool opened() const { return m_opened; }

private:
    mutable std::mutex m_mutex;
    bool m_succeeded = false;
    std::optional<HVError> m_error;
    std::vector<HVRemoteFile> m_files;
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_fatal{false};
    std::atomic<bool> m_opened{false};
};

// A name printed on one line of "ls": tabs and line breaks escaped too.
std::string printableName(const std::string& name) {
    std::string out;
    for (const char c : HVEscapeControlCharacters(name)) {
        if (c == '\t')
            out += "\\x09";
        else if (c == '\n')
            out += "\\x0a";
        else
            out += c;
    }
    return out;
}

// The server's own path for a URL's path: FTP paths are relative to the login directory (as
// in ftp:// URLs everywhere; "//abs" is absolute); SFTP and WebDAV paths are absolute, and
// "/~/x" is "x" in the login directory.
std::string serverPath(const HVRemoteURL& url) {
    std::string path = url.path;
    if (url.protocol == HVRemoteProtocol::FTP)
        return path.size() > 1 ? path.substr(1) : ".";
    if (url.protocol == HVRemoteProtocol::SFTP && (path == "/~" || path.rfind("/~/", 0) == 0))
        return path.size() > 3 ? path.substr(3) : ".";
    return path;
}

std::string parentPath(const std::string& path) {
    const auto slash = path.rfind('/', path.size() > 1 ? path.size() - 2 : 0);
    if (slash == std::string::npos)
        return "/";
    return path.substr(0, slash + 1);
}

std::string trimmedLine(std::string text) {
    const auto first = text.find_first_not_of(" \r\n");
    const auto last = text.find_last_not_of(" \r\n");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

const char* HVRemoteCommand::usageText() {
    return "       halvet-cli remote [OPTIONS] ls URL\n"
           "       halvet-cli remote [OPTIONS] get [-r] URL LOCAL\n"
           "       halvet-cli remote [OPTIONS] put [-r] LOCAL URL\n"
           "       halvet-cli remote [OPTIONS] rm [-r] URL | mkdir URL | mv URL NEWURL\n"
           "         URL: sftp://user@host:port/path, ftp://…, webdav://… (http), davs://… "
           "(https)\n"
           "         OPTIONS: --password-stdin [--store-password], --accept-new-host-key,\n"
           "                  --known-hosts FILE, --timeout SECONDS, --log FILE (the client's\n"
           "                  transcript, control characters escaped)\n";
}

int HVRemoteCommand::run(const std::vector<std::string>& arguments) {
    bool passwordFromInput = false;
    bool storePassword = false;
    bool acceptNewHostKey = false;
    bool recursive = false;
    std::optional<double> stallTimeout;
    std::string knownHosts;
    std::string logPath;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--password-stdin") {
            passwordFromInput = true;
        } else if (argument == "--store-password") {
            storePassword = true;
        } else if (argument == "--accept-new-host-key") {
            acceptNewHostKey = true;
        } else if (argument == "-r" || argument == "--recursive") {
            recursive = true;
        } else if (argument == "--log" && i + 1 < arguments.size()) {
            logPath = arguments[++i];
        } else if (argument == "--known-hosts" && i + 1 < arguments.size()) {
            knownHosts = arguments[++i];
        } else if (argument == "--timeout" && i + 1 < arguments.size()) {
            double seconds = 0;
            const std::string& text = arguments[++i];
            const auto [end, status] =
                std::from_chars(text.data(), text.data() + text.size(), seconds);
            if (status != std::errc() || end != text.data() + text.size() || seconds <= 0) {
                m_err << "halvet-cli: --timeout needs a number of seconds\n";
                return 2;
            }
            stallTimeout = seconds;
        } else if (argument.size() > 1 && argument[0] == '-' && argument.rfind("--", 0) == 0) {
            m_err << "halvet-cli: unknown option " << argument << "\n";
            return 2;
        } else {
            words.push_back(argument);
        }
    }
    if (words.empty()) {
        m_err << "usage:\n" << usageText();
        return 2;
    }
    const std::string operation = words.front();
    const std::size_t expected =
        (operation == "ls" || operation == "rm" || operation == "mkdir")  ? 2
        : (operation == "get" || operation == "put" || operation == "mv") ? 3
                                                                          : 0;
    if (expected == 0 || words.size() != expected) {
        m_err << "usage:\n" << usageText();
        return 2;
    }
    const std::string& urlText = operation == "put" ? words[2] : words[1];
    HVError error;
    const auto url = HVRemoteURL::parse(urlText, &error);
    if (!url) {
        m_err << "halvet-cli: " << error.recoverySuggestion() << "\n";
        return 2;
    }
    std::optional<HVRemoteURL> newURL;
    if (operation == "mv") {
        newURL = HVRemoteURL::parse(words[2], &error);
        if (!newURL) {
            m_err << "halvet-cli: " << error.recoverySuggestion() << "\n";
            return 2;
        }
        if (newURL->host != url->host || newURL->protocol != url->protocol ||
            newURL->port != url->port || newURL->user != url->user) {
            m_err << "halvet-cli: mv renames on one server; both addresses must name it\n";
            return 2;
        }
    }

    const HVSecretStoreKey key{url->host, url->user, url->protocol, url->port};
    std::string password;
    if (passwordFromInput) {
        std::getline(m_in, password);
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
    } else {
        HVError storeError;
        const auto stored = HVSecretStore::sharedInstance().password(key, &storeError);
        if (stored) {
            password = *stored;
        } else if (!storeError.domain().empty()) {
            m_err << "halvet-cli: " << operation << " " << urlText << ": "
                  << storeError.description() << ": " << storeError.recoverySuggestion()
                  << " (or give the password with --password-stdin)\n";
            return 1;
        }
    }

    HVRemoteServer server;
    server.host = url->host;
    server.port = url->port;
    server.user = url->user;
    server.password = password;
    if (!knownHosts.empty() && url->protocol == HVRemoteProtocol::SFTP)
        server.arguments.push_back("-oUserKnownHostsFile=" + knownHosts);
    const std::string path = serverPath(*url);
    if (url->protocol == HVRemoteProtocol::WebDAV) {
        server.webDAVScheme = url->scheme;
        server.webDAVPath = operation == "ls" ? path : parentPath(path);
    }
    auto hostKeyQuestion = std::make_shared<std::string>();
    auto hostKeyMutex = std::make_shared<std::mutex>();
    server.hostKeyApproval = [acceptNewHostKey, hostKeyQuestion,
                              hostKeyMutex](const std::string& question) {
        std::lock_guard lock(*hostKeyMutex);
        *hostKeyQuestion = question;
        return acceptNewHostKey;
    };

    auto listener = std::make_shared<Listener>();
    HVRemoteFilesQueue queue(url->protocol, listener);
    if (stallTimeout)
        queue.setStallTimeout(*stallTimeout);
    queue.connect(std::move(server));
    if (queue.state() != HVRemoteFilesQueue::State::NotRunning || !listener->fatal()) {
        if (operation == "ls") {
            queue.getFileListing(path);
        } else if (operation == "get") {
            std::string local = words[2];
            if (isDirectory(local) && !recursive)
                local += "/" + HVFileSystem::lastPathComponent(path);
            if (recursive)
                queue.downloadDirectory(path, local);
            else
                queue.downloadFile(path, local);
        } else if (operation == "put") {
            if (recursive)
                queue.uploadDirectory(words[1], path);
            else
                queue.uploadFile(words[1], path);
        } else if (operation == "rm") {
            if (recursive)
                queue.deleteDirectory(path);
            else
                queue.deleteFile(path);
        } else if (operation == "mkdir") {
            queue.createDirectory(path);
        } else if (operation == "mv") {
            queue.moveFile(path, serverPath(*newURL));
        }
        queue.closeConnection();
        HVDispatcher::main().runUntil([&] { return listener->closed(); }, 1e9);
    }
    if (!logPath.empty()) {
        HVError logError;
        const std::string transcript = queue.logController()->transcript();
        if (!HVFileSystem::writeFileAtomically(logPath, transcript, &logError))
            m_err << "halvet-cli: the log was not written: " << logError.description() << "\n";
    }

    if (listener->succeeded() && !listener->error()) {
        if (storePassword && passwordFromInput) {
            HVError storeError;
            if (!HVSecretStore::sharedInstance().setPassword(key, password, &storeError))
                m_err << "halvet-cli: the password was not stored: " << storeError.description()
                      << ": " << storeError.recoverySuggestion() << "\n";
        }
        for (const HVRemoteFile& file : listener->files()) {
            const char kind = file.isDirectory ? 'd' : (file.isSymlink ? 'l' : 'f');
            m_out << kind << '\t' << file.size << '\t' << printableName(file.name) << '\n';
        }
        return 0;
    }
    std::string reason;
    {
        std::lock_guard lock(*hostKeyMutex);
        if (!hostKeyQuestion->empty() && !acceptNewHostKey)
            reason = "the server's key or certificate is not known; check its fingerprint and "
                     "run again with --accept-new-host-key to trust it: " +
                     HVEscapeControlCharacters(trimmedLine(*hostKeyQuestion));
    }
    if (reason.empty()) {
        if (const auto failure = listener->error()) {
            reason = failure->description();
            const HVPlistValue* serverReason = failure->userInfoValue(HVRemoteReasonErrorKey);
            if (serverReason && serverReason->string() && !serverReason->string()->empty())
                reason += ": " + *serverReason->string();
            else if (!failure->recoverySuggestion().empty())
                reason += ": " + failure->recoverySuggestion();
        } else {
            reason = listener->opened() ? "the connection ended before the operation finished"
                                        : "could not connect";
        }
    }
    for (char& c : reason)
        if (c == '\n')
            c = ' ';
    m_err << "halvet-cli: " << operation << " " << urlText << ": " << reason << "\n";
    return 1;
}
