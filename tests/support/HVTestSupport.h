#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A fresh directory under /tmp (or another folder), removed with everything in it when the
// test ends.
class HVTemporaryDirectory {
public:
    explicit HVTemporaryDirectory(std::string_view parent = "/tmp");
    ~HVTemporaryDirectory();
    HVTemporaryDirectory(const HVTemporaryDirectory&) = delete;
    HVTemporaryDirectory& operator=(const HVTemporaryDirectory&) = delete;

    const std::string& path() const { return m_path; }
    std::string pathFor(std::string_view relative) const;
    // Writes bytes to a file below the directory, creating folders; returns its path.
    std::string write(std::string_view relative, std::string_view bytes) const;

private:
    std::string m_path;
    bool m_created = false;
};

// Sets an environment variable for the life of the object and restores the old value.
class HVScopedEnvironment {
public:
    HVScopedEnvironment(const char* name, const std::string& value);
    ~HVScopedEnvironment();

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Gives the process a preference store of its own in a temporary directory, and the shared
// store back when it ends.
class HVIsolatedPreferences {
public:
    HVIsolatedPreferences();
    ~HVIsolatedPreferences();
    const std::string& storePath() const { return m_storePath; }

private:
    HVTemporaryDirectory m_directory;
    std::string m_storePath;
};

// Runs the body in a child process, so that what it changes of the process (limits, the
// current folder) goes with it; true when the body returned true.
bool HVRunInChild(const std::function<bool()>& body);

// Runs the body in a child process (as "nobody" when unprivileged) and returns the lines it
// reports, so that the child may lower its limits, mount a file system of its own or give
// up root without changing the test process. The report must fit into a pipe's buffer.
std::vector<std::string> HVReportOfChild(const std::function<std::vector<std::string>()>& body,
                                         bool unprivileged = false);
// In a child: makes writes past the size fail with EFBIG instead of killing the process.
void HVLimitFileSize(std::uint64_t size);
// In a child: mounts a file system of 64 KB over the folder, seen only by this process; the
// reason when that is not permitted.
std::optional<std::string> HVMountSmallFileSystem(const std::string& folder);

// Runs the body in a child process without root's privileges (as "nobody" when the tests run
// as root), so that file permissions apply; true when the body returned true.
bool HVRunUnprivileged(const std::function<bool()>& body);

// The test data folder of the source tree ($HALVET_TEST_DATA) joined with a relative path.
std::string HVTestDataPath(std::string_view relative);
std::string HVReadFile(const std::string& path);
