#include "HVChildProcess.h"
#include "HVFileSystem.h"
#include "HVTestServers.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

// The servers with real clients, before any of the editor's own code talks to them.

namespace {

// Runs a program with a time limit; the password goes in on standard input.
HVChildProcess::Result runProgram(std::vector<std::string> arguments, const std::string& input) {
    HVChildProcess::Options options;
    options.arguments = std::move(arguments);
    options.standardInput = input;
    options.timeLimit = 20.0;
    return HVChildProcess::run(options).value_or(HVChildProcess::Result{});
}

HVChildProcess::Result runPython(const std::string& script, std::vector<std::string> arguments,
                                 const std::string& input) {
    arguments.insert(arguments.begin(), {"/usr/bin/python3", "-c", script});
    return runProgram(std::move(arguments), input);
}

int modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

TEST(HVTestServers, FTPLogsInStoresAndListsNamesWithBlanksQuotesAndAccents) {
    const HVTestServerInfo* servers = HVTestServers::shared();
    ASSERT_TRUE(servers);
    const char* script = R"(
import ftplib, io, sys
ftp = ftplib.FTP()
ftp.encoding = "utf-8"
ftp.connect("127.0.0.1", int(sys.argv[1]))
ftp.login(sys.argv[2], sys.stdin.read())
ftp.storbinary("STOR " + sys.argv[3], io.BytesIO(b"ftp bytes\n"))
print(ftp.pwd())
print("\n".join(ftp.nlst()))
ftp.quit()
)";
    const std::string name = "caf\xc3\xa9 \"it's\".txt";
    auto result = runPython(script, {std::to_string(servers->ftpPort), servers->user, name},
                            servers->password);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput, servers->ftpRoot + "\n" + name + "\n");
    EXPECT_EQ(HVFileSystem::readFile(servers->ftpRoot + "/" + name).value_or("none"),
              "ftp bytes\n");
    EXPECT_EQ(modeOf(servers->ftpRoot + "/" + name), 0644);
}

TEST(HVTestServers, SFTPAcceptsTheClientKeyAndKnowsTheHostKey) {
    const HVTestServerInfo* servers = HVTestServers::shared();
    ASSERT_TRUE(servers);
    HVTemporaryDirectory local;
    std::string upload = local.write("up.txt", "sftp bytes\n");
    auto result = runProgram(
        {"sftp", "-b", "-", "-i", servers->sshKey, "-P", std::to_string(servers->sftpPort),
         "-oBatchMode=yes", "-oStrictHostKeyChecking=yes",
         "-oUserKnownHostsFile=" + servers->knownHosts, servers->user + "@127.0.0.1"},
        "put " + upload + " up.txt\npwd\n");
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_NE(result.standardOutput.find("Remote working directory: " + servers->sftpRoot + "\n"),
              std::string::npos)
        << result.standardOutput;
    EXPECT_EQ(HVFileSystem::readFile(servers->sftpRoot + "/up.txt").value_or("none"),
              "sftp bytes\n");

    auto fingerprint = runProgram({"ssh-keygen", "-lf", servers->knownHosts}, "");
    EXPECT_EQ(fingerprint.standardOutput.substr(0, fingerprint.standardOutput.find(" (")),
              "256 " + servers->sshFingerprint +
                  " [127.0.0.1]:" + std::to_string(servers->sftpPort));
}

TEST(HVTestServers, WebDAVStoresAndListsWithBasicAuthenticationOnly) {
    const HVTestServerInfo* servers = HVTestServers::shared();
    ASSERT_TRUE(servers);
    const char* script = R"(
import base64, http.client, sys
port, user, password = int(sys.argv[1]), sys.argv[2], sys.stdin.read()
def request(method, path, body=None, password=password, **headers):
    token = base64.b64encode((user + ":" + password).encode()).decode()
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.request(method, path, body=body, headers=dict(headers, Authorization="Basic " + token))
    response = connection.getresponse()
    return response.status, response.read()
print(request("PUT", "/dav/up%20dav.txt", b"dav bytes\n")[0])
status, body = request("PROPFIND", "/dav/", Depth="1")
print(status, b"<D:href>/dav/up%20dav.txt</D:href>" in body)
print(request("PROPFIND", "/dav/", password="wrong", Depth="1")[0])
)";
    auto result =
        runPython(script, {std::to_string(servers->davPort), servers->user}, servers->password);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput, "201\n207 True\n401\n");
    EXPECT_EQ(HVFileSystem::readFile(servers->davRoot + "/up dav.txt").value_or("none"),
              "dav bytes\n");
}
