#include "HVTestSupport.h"

#include "HVFileSystem.h"
#include "HVPreferences.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

HVTemporaryDirectory::HVTemporaryDirectory(std::string_view parent) {
    auto path = HVFileSystem::makeTemporaryDirectory(
        HVFileSystem::appendingPathComponent(parent, "halvet-test.XXXXXX"));
    if (!path)
        ADD_FAILURE() << "cannot create a temporary directory in " << parent;
    m_created = path.has_value();
    m_path = path.value_or(std::string(parent));
}

HVTemporaryDirectory::~HVTemporaryDirectory() {
    if (m_created)
        HVFileSystem::removeRecursively(m_path);
}

std::string HVTemporaryDirectory::pathFor(std::string_view relative) const {
    return HVFileSystem::appendingPathComponent(m_path, relative);
}

std::string HVTemporaryDirectory::write(std::string_view relative, std::string_view bytes) const {
    std::string path = pathFor(relative);
    HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path));
    HVError error;
    if (!HVFileSystem::writeFileAtomically(path, bytes, &error))
        ADD_FAILURE() << error.fullDescription();
    return path;
}

HVScopedEnvironment::HVScopedEnvironment(const char* name, const std::string& value)
    : m_name(name) {
    if (const char* old = std::getenv(name))
        m_old = old;
    ::setenv(name, value.c_str(), 1);
}

HVScopedEnvironment::~HVScopedEnvironment() {
    if (m_old)
        ::setenv(m_name.c_str(), m_old->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

HVIsolatedPreferences::HVIsolatedPreferences()
    : m_storePath(m_directory.pathFor("Preferences.plist")) {
    HVPreferences::replaceSharedInstance(std::make_unique<HVPreferences>(m_storePath));
}

HVIsolatedPreferences::~HVIsolatedPreferences() {
    // The next use builds the store of the test run's own environment again.
    HVPreferences::replaceSharedInstance(nullptr);
}

std::vector<std::string> HVReportOfChild(const std::function<std::vector<std::string>()>& body,
                                         bool unprivileged) {
    int report[2];
    if (::pipe(report) != 0)
        return {"cannot make a pipe"};
    auto run = [&] {
        std::string text;
        for (const auto& line : body())
            text += line + "\n";
        return ::write(report[1], text.data(), text.size()) == ssize_t(text.size());
    };
    bool finished = unprivileged ? HVRunUnprivileged(run) : HVRunInChild(run);
    ::close(report[1]);
    std::vector<std::string> lines;
    std::string line;
    char c;
    while (::read(report[0], &c, 1) == 1) {
        if (c != '\n') {
            line += c;
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    ::close(report[0]);
    if (!finished)
        lines.push_back("the child failed");
    return lines;
}

void HVLimitFileSize(std::uint64_t size) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {rlim_t(size), rlim_t(size)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

std::optional<std::string> HVMountSmallFileSystem(const std::string& folder) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
        return std::string("cannot mount a small file system: ") + std::strerror(errno);
    return std::nullopt;
}

std::string HVTestDataPath(std::string_view relative) {
    const char* root = std::getenv("HALVET_TEST_DATA");
    return HVFileSystem::appendingPathComponent(root ? root : "tests/data", relative);
}

std::string HVReadFile(const std::string& path) {
    return HVFileSystem::readFile(path).value_or(std::string());
}

bool HVRunInChild(const std::function<bool()>& body) {
    pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0)
        ::_exit(body() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HVRunUnprivileged(const std::function<bool()>& body) {
    return HVRunInChild([&] {
        if (::geteuid() == 0) {
            const gid_t nogroup = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(65534) != 0)
                return false;
        }
        return body();
    });
}
