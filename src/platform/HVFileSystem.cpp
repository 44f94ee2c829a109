#include "HVFileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

} // namespace

bool HVFileSystem::exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool HVFileSystem::isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HVFileSystem::isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HVFileSystem::isExecutable(const std::string& path) {
    return isRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> HVFileSystem::readFile(const std::string& path, HVError* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        HVSetError(error, HVError::posix(errno, path, "Cannot open"));
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        HVSetError(error, HVError::posix(EISDIR, path, "Cannot read"));
        return std::nullopt;
    }
    std::string bytes;
    if (st.st_size > 0) {
        bytes.reserve(std::size_t(st.st_size));
        adviseHugePages(bytes.data(), bytes.capacity());
    }
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int saved = errno;
            ::close(fd);
            HVSetError(error, HVError::posix(saved, path, "Cannot read"));
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return bytes;
}

bool HVFileSystem::writeFileAtomically(const std::string& requestedPath, std::string_view bytes,
                                       HVError* error) {
    // Write through a link so that the link stays a link.
    std::string path = requestedPath;
    struct stat linkStat;
    if (::lstat(path.c_str(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode))
        path = resolvingSymlinks(path);

    struct stat old;
    bool hadOld = ::stat(path.c_str(), &old) == 0;

    std::string directory = deletingLastPathComponent(path);
    std::string name = lastPathComponent(path);
    std::string tmpl =
        appendingPathComponent(directory.empty() ? "." : directory, "." + name + ".hvsave.XXXXXX");
    int fd = -1;
    auto tmpPath = makeTemporaryFile(tmpl, &fd, error);
    if (!tmpPath)
        return false;

    auto fail = [&](int saved, const char* what) {
        ::close(fd);
        ::unlink(tmpPath->c_str());
        HVSetError(error, HVError::posix(saved, requestedPath, what));
        return false;
    };

    if (!writeAll(fd, bytes))
        return fail(errno, "Cannot write");
    mode_t mode;
    if (hadOld) {
        mode = old.st_mode & 07777;
        // Keeping the group needs no privilege when we are a member; a failure is not fatal.
        if (old.st_gid != ::getegid() && ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
        }
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        return fail(errno, "Cannot set permissions of");
    if (::fsync(fd) != 0)
        return fail(errno, "Cannot write");
    if (::close(fd) != 0) {
        int saved = errno;
        ::unlink(tmpPath->c_str());
        HVSetError(error, HVError::posix(saved, requestedPath, "Cannot write"));
        return false;
    }
    if (::rename(tmpPath->c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(tmpPath->c_str());
        HVSetError(error, HVError::posix(saved, requestedPath, "Cannot replace"));
        return false;
    }
    int dirFd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool HVFileSystem::createDirectory(const std::string& path, mode_t mode, HVError* error) {
    if (isDirectory(path))
        return true;
    std::string parent = deletingLastPathComponent(path);
    if (!parent.empty() && parent != path && !isDirectory(parent)) {
        if (!createDirectory(parent, mode, error))
            return false;
    }
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        HVSetError(error, HVError::posix(errno, path, "Cannot create the folder"));
        return false;
    }
    if (!isDirectory(path)) {
        HVSetError(error, HVError::posix(ENOTDIR, path, "Cannot create the folder"));
        return false;
    }
    return true;
}

bool HVFileSystem::removeRecursively(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return !ec;
}

bool HVFileSystem::copyDirectory(const std::string& from, const std::string& to, HVError* error) {
    std::error_code ec;
    std::filesystem::copy(from, to,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::skip_existing,
                          ec);
    if (ec) {
        HVSetError(error, HVError::posix(ec.value(), to, "Cannot copy into"));
        return false;
    }
    return true;
}

std::vector<std::string> HVFileSystem::listRecursively(const std::string& directory) {
    std::vector<std::string> paths;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return paths;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = appendingPathComponent(directory, name);
        paths.push_back(path);
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            auto below = listRecursively(path);
            paths.insert(paths.end(), below.begin(), below.end());
        }
    }
    ::closedir(dir);
    return paths;
}

std::optional<std::string> HVFileSystem::makeTemporaryFile(const std::string& pathTemplate, int* fd,
                                                           HVError* error) {
    std::string path = pathTemplate;
    int result = ::mkstemp(path.data());
    if (result < 0) {
        HVSetError(error, HVError::posix(errno, pathTemplate, "Cannot create a temporary file"));
        return std::nullopt;
    }
    ::fcntl(result, F_SETFD, FD_CLOEXEC);
    if (fd)
        *fd = result;
    else
        ::close(result);
    return path;
}

std::optional<std::string> HVFileSystem::makeTemporaryDirectory(const std::string& pathTemplate,
                                                                HVError* error) {
    std::string path = pathTemplate;
    if (!::mkdtemp(path.data())) {
        HVSetError(error, HVError::posix(errno, pathTemplate, "Cannot create a temporary folder"));
        return std::nullopt;
    }
    return path;
}

std::string HVFileSystem::resolvingSymlinks(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer))
        return buffer;
    return path;
}

std::string HVFileSystem::homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string HVFileSystem::executablePath() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return std::string(buffer, std::size_t(n));
}

void HVFileSystem::adviseHugePages(const void* start, std::size_t length) {
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    if (length < 2 * huge)
        return;
    auto from = (reinterpret_cast<std::uintptr_t>(start) + huge - 1) & ~(huge - 1);
    auto to = (reinterpret_cast<std::uintptr_t>(start) + length) & ~(huge - 1);
    if (to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

std::string HVFileSystem::lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos || path.size() == 1)
        return std::string(path);
    return std::string(path.substr(slash + 1));
}

std::string HVFileSystem::deletingLastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

std::string HVFileSystem::pathExtension(std::string_view path) {
    std::string name = lastPathComponent(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    return name.substr(dot + 1);
}

std::string HVFileSystem::appendingPathComponent(std::string_view path,
                                                 std::string_view component) {
    std::string result(path);
    if (component.empty())
        return result;
    if (!result.empty() && result.back() != '/')
        result += '/';
    while (!component.empty() && component.front() == '/' && !result.empty())
        component.remove_prefix(1);
    result += component;
    return result;
}
