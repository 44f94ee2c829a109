#pragma once

#include <string>

// Where the real test servers (scripts/test-servers) listen, for one test program.
struct HVTestServerInfo {
    std::string directory;
    std::string user;
    std::string password;
    std::string passwordFile;
    int ftpPort = 0;
    int sftpPort = 0;
    int davPort = 0;
    // HTTPS with a self-signed certificate (davsCertificate).
    int davsPort = 0;
    // The local folders that the servers serve, so that a test can compare bytes. The FTP and
    // SFTP servers show them under the same absolute paths.
    std::string ftpRoot;
    std::string sftpRoot;
    std::string davRoot;
    // Holds the sshd's host key for [127.0.0.1]:sftpPort.
    std::string knownHosts;
    // "SHA256:…", as ssh prints it.
    std::string sshFingerprint;
    std::string davsCertificate;
};

// Starts the servers the first time a test asks and stops them when the program exits. When
// HALVET_TEST_SERVERS_DIR names servers that are already running, those are used and left
// running.
class HVTestServers {
public:
    // None when the servers cannot start (for instance when not run as root); then the
    // calling test has failed with the reason.
    static const HVTestServerInfo* shared();
};
