#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

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

// Runs the body in a child process without root's privileges (as "nobody" when the tests run
// as root), so that file permissions apply; true when the body returned true.
bool HVRunUnprivileged(const std::function<bool()>& body);

// The test data folder of the source tree ($HALVET_TEST_DATA) joined with a relative path.
std::string HVTestDataPath(std::string_view relative);
std::string HVReadFile(const std::string& path);
