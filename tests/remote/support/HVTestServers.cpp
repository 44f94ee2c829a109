#include "HVTestServers.h"

#include "HVChildProcess.h"
#include "HVFileSystem.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace {

// Reads the "export NAME=value" lines that the script prints; values are quoted as bash's
// printf %q quotes plain paths (backslashes before special characters).
std::map<std::string, std::string> parseEnvironment(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("export "))
            line.erase(0, 7);
        auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string value;
        for (size_t i = equals + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            value += line[i];
        }
        values[line.substr(0, equals)] = value;
    }
    return values;
}

int portValue(const std::string& text) {
    return std::atoi(text.c_str());
}

class Servers {
public:
    Servers() {
        const char* running = std::getenv("HALVET_TEST_SERVERS_DIR");
        m_ownsServers = !(running && *running);
        // As the owner, this program takes the servers with it even when it crashes.
        std::vector<std::string> arguments{HALVET_TEST_SERVERS_SCRIPT, "start", "--owner",
                                           std::to_string(::getpid())};
        if (!m_ownsServers)
            arguments = {HALVET_TEST_SERVERS_SCRIPT, "env", running};
        HVError error;
        HVChildProcess::Options options;
        options.arguments = arguments;
        options.timeLimit = 60.0;
        auto result = HVChildProcess::run(options, &error);
        if (!result) {
            m_failure = "cannot run " + arguments[0] + ": " + error.fullDescription();
            return;
        }
        if (!result->succeeded()) {
            m_failure = "the test servers did not start (exit status " +
                        std::to_string(result->exitStatus) + "): " + result->standardError;
            return;
        }
        auto values = parseEnvironment(result->standardOutput);
        HVTestServerInfo info;
        info.directory = values["HALVET_TEST_SERVERS_DIR"];
        info.user = values["HALVET_TEST_USER"];
        info.passwordFile = values["HALVET_TEST_PASSWORD_FILE"];
        info.ftpPort = portValue(values["HALVET_TEST_FTP_PORT"]);
        info.sftpPort = portValue(values["HALVET_TEST_SFTP_PORT"]);
        info.davPort = portValue(values["HALVET_TEST_DAV_PORT"]);
        info.davsPort = portValue(values["HALVET_TEST_DAVS_PORT"]);
        info.ftpRoot = values["HALVET_TEST_FTP_ROOT"];
        info.sftpRoot = values["HALVET_TEST_SFTP_ROOT"];
        info.davRoot = values["HALVET_TEST_DAV_ROOT"];
        info.knownHosts = values["HALVET_TEST_KNOWN_HOSTS"];
        info.sshFingerprint = values["HALVET_TEST_SSH_FINGERPRINT"];
        info.davsCertificate = values["HALVET_TEST_DAVS_CERTIFICATE"];
        auto password = HVFileSystem::readFile(info.passwordFile, &error);
        if (!password) {
            m_failure = "cannot read the test password: " + error.fullDescription();
            return;
        }
        while (!password->empty() && password->back() == '\n')
            password->pop_back();
        info.password = *password;
        m_info = std::move(info);
    }

    ~Servers() {
        if (!m_info || !m_ownsServers)
            return;
        HVChildProcess::Options options;
        options.arguments = {HALVET_TEST_SERVERS_SCRIPT, "stop", m_info->directory};
        options.timeLimit = 30.0;
        HVChildProcess::run(options);
    }

    const HVTestServerInfo* info() const { return m_info ? &*m_info : nullptr; }
    const std::string& failure() const { return m_failure; }

private:
    std::optional<HVTestServerInfo> m_info;
    std::string m_failure;
    bool m_ownsServers = true;
};

} // namespace

const HVTestServerInfo* HVTestServers::shared() {
    // Destroyed at exit, which stops the servers.
    static Servers servers;
    if (!servers.info())
        ADD_FAILURE() << servers.failure();
    return servers.info();
}
