#include "HVFileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes every byte from the offset on; false with errno when the file takes no more.
bool writeAllAt(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
        offset += n;
    }
    return true;
}

HVFileIdentity identityOf(const struct stat& st) {
    return HVFileIdentity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino),
                          std::uint64_t(st.st_size),
                          std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void storeIdentity(int fd, HVFileIdentity* identity) {
    struct stat st;
    if (identity && ::fstat(fd, &st) == 0)
        *identity = identityOf(st);
}

// Refuses a folder, a named pipe, a device or a socket where a regular file is expected.
HVError notARegularFile(const std::string& path, mode_t mode, std::string_view what,
                        std::string suggestion) {
    if (S_ISDIR(mode))
        return HVError::posix(EISDIR, path, what);
    const char* kind = S_ISFIFO(mode)   ? "a named pipe"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "not a plain file";
    HVError refused(HVPlatformErrorDomain, EINVAL,
                    "\u201C" + HVFileSystem::lastPathComponent(path) + "\u201D is " + kind +
                        ", not a regular file.",
                    std::move(suggestion));
    refused.setUserInfoValue(HVFilePathErrorKey, path);
    return refused;
}

// A save's temporary file is hidden beside the file it replaces: ".NAME.hvsave." and six
// random letters.
std::string temporaryPrefix(const std::string& name) {
    return "." + name + ".hvsave.";
}
constexpr std::size_t temporarySuffixLength = 6;

// Removes what earlier saves of this file left behind when they were killed. A save that is
// still running holds a lock on its temporary file, so one that can be locked has no writer.
void removeAbandonedTemporaries(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::string prefix = temporaryPrefix(name);
    while (dirent* entry = ::readdir(dir)) {
        std::string_view entryName = entry->d_name;
        if (entryName.size() != prefix.size() + temporarySuffixLength ||
            !entryName.starts_with(prefix))
            continue;
        // Never a FIFO's open that waits, nor a link's target.
        int fd = ::openat(::dirfd(dir), entry->d_name,
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// Creates and locks a temporary file beside the file to be saved; -1 with errno on failure.
// Not mkstemp, so that the kernel applies the umask to the mode: reading the umask would
// change it for every thread meanwhile.
int createTemporary(const std::string& folder, const std::string& name, mode_t mode,
                    std::string* path) {
    static constexpr char letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[temporarySuffixLength];
        if (::getrandom(random, sizeof random, 0) != ssize_t(sizeof random))
            return -1;
        std::string candidate = HVFileSystem::appendingPathComponent(folder, temporaryPrefix(name));
        for (unsigned char r : random)
            candidate += letters[r % (sizeof letters - 1)];
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        if (::flock(fd, LOCK_EX) != 0) {
            int saved = errno;
            ::unlink(candidate.c_str());
            ::close(fd);
            errno = saved;
            return -1;
        }
        // Another save's clean-up may have taken the file between its creation and the lock.
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_nlink > 0) {
            *path = std::move(candidate);
            return fd;
        }
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

// Copies every byte of one file over the start of another: the number copied, or -1 with
// errno.
off_t copyContents(int from, int to) {
    char buffer[1 << 16];
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(from, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? -1 : offset;
        if (!writeAllAt(to, std::string_view(buffer, std::size_t(n)), offset))
            return -1;
        offset += n;
    }
}

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

// Copies the file's bytes to a private file in the temporary folder, from which a failed
// rewrite is undone: its descriptor, or -1 with errno.
int copyAside(int fd, std::string* copyPath) {
    std::string path = HVFileSystem::appendingPathComponent(temporaryFolder(), "Halvet.tmp.XXXXXX");
    int copy = ::mkostemp(path.data(), O_CLOEXEC);
    if (copy < 0)
        return -1;
    // Synced: after a crash during the rewrite, the copy is what is left of the old bytes.
    if (copyContents(fd, copy) < 0 || ::fsync(copy) != 0) {
        int saved = errno;
        ::unlink(path.c_str());
        ::close(copy);
        errno = saved;
        return -1;
    }
    *copyPath = std::move(path);
    return copy;
}

// Claims the blocks a growing file needs before its first byte changes, so that a full disk
// fails the save while the file is whole. Where the file system cannot, the write finds out.
bool reserveRoom(int fd, off_t oldSize, std::size_t newSize) {
    if (off_t(newSize) <= oldSize)
        return true;
    int result;
    do
        result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(newSize));
    while (result != 0 && errno == EINTR);
    return result == 0 || errno == EOPNOTSUPP;
}

// Reads the file back: a write that the kernel accepted is not yet one that is there.
bool holds(int fd, std::string_view bytes) {
    char buffer[1 << 16];
    std::size_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(fd, buffer, sizeof buffer, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (bytes.substr(offset, std::size_t(n)) != std::string_view(buffer, std::size_t(n)))
            break;
        offset += std::size_t(n);
    }
    if (offset == bytes.size())
        return true;
    errno = EIO;
    return false;
}

bool restoreFromCopy(int copy, int fd) {
    off_t size = copyContents(copy, fd);
    return size >= 0 && ::ftruncate(fd, size) == 0 && ::fsync(fd) == 0;
}

// Gives the temporary file the old file's owner and group; false when that takes a privilege
// we lack (another owner, or a group we are not in).
bool takeOwnership(int fd, const struct stat& old) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    return (st.st_uid == old.st_uid && st.st_gid == old.st_gid) ||
           ::fchown(fd, old.st_uid, old.st_gid) == 0;
}

// Rewrites the file where it is, for when no rename can replace it. Its old bytes are copied
// aside first and put back if the write fails, so that a failure leaves the old file.
bool rewriteInPlace(const std::string& path, const std::string& shownPath, std::string_view bytes,
                    HVError* error, HVFileIdentity* written) {
    // Without O_TRUNC: the old bytes stay until the new ones are written over them.
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        HVSetError(error, HVError::posix(errno, shownPath, "Cannot write"));
        return false;
    }
    struct stat old;
    std::string copyPath;
    int copy = ::fstat(fd, &old) == 0 ? copyAside(fd, &copyPath) : -1;
    if (copy < 0) {
        HVError refused =
            HVError::posix(errno, shownPath, "Cannot keep a copy of the old contents of");
        refused.setRecoverySuggestion(
            "The file was not changed. It can only be rewritten in place, "
            "which needs room for a copy of it in \u201C" +
            temporaryFolder() + "\u201D.");
        ::close(fd);
        HVSetError(error, std::move(refused));
        return false;
    }
    auto finish = [&](bool keepCopy) {
        if (!keepCopy)
            ::unlink(copyPath.c_str());
        ::close(copy);
        ::close(fd);
    };
    if (!reserveRoom(fd, old.st_size, bytes.size())) {
        HVSetError(error, HVError::posix(errno, shownPath, "Cannot write"));
        finish(false);
        return false;
    }
    if (!writeAllAt(fd, bytes, 0) || ::ftruncate(fd, off_t(bytes.size())) != 0 ||
        ::fsync(fd) != 0 || !holds(fd, bytes)) {
        HVError failed = HVError::posix(errno, shownPath, "Cannot write");
        bool restored = restoreFromCopy(copy, fd);
        if (!restored)
            failed.setRecoverySuggestion("The file may be damaged. Its old contents are kept in "
                                         "\u201C" +
                                         copyPath + "\u201D.");
        finish(!restored);
        HVSetError(error, std::move(failed));
        return false;
    }
    // Writing clears the set-user-ID and set-group-ID bits; only the owner may set them again.
    struct stat now;
    if (::fstat(fd, &now) == 0 && (now.st_mode & 07777) != (old.st_mode & 07777))
        ::fchmod(fd, old.st_mode & 07777);
    storeIdentity(fd, written);
    finish(false);
    return true;
}

// The path joined to the current folder when it is relative.
std::string absolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    char cwd[PATH_MAX];
    return HVFileSystem::appendingPathComponent(::getcwd(cwd, sizeof cwd) ? cwd : "/", path);
}

// A rename is durable once the folder is. The file holds the new bytes either way, so a
// failure here is not the save's.
void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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

std::optional<std::string> HVFileSystem::readFile(const std::string& path, HVError* error,
                                                  HVFileIdentity* identity, std::uint64_t maxSize) {
    auto refuse = [&](mode_t mode) {
        HVSetError(error, notARegularFile(path, mode, "Cannot read",
                                          "Only regular files can be opened. To edit the output "
                                          "of a command, save it to a file first."));
        return std::nullopt;
    };
    // Opening some devices does something (a tape rewinds, a modem hangs up): anything but a
    // regular file is refused before it is opened.
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return refuse(st.st_mode);
    // Non-blocking and without a controlling terminal, in case the path was replaced by a
    // named pipe or a terminal since: the check below refuses it then.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        HVSetError(error, HVError::posix(errno, path, "Cannot open"));
        return std::nullopt;
    }
    // The checks look at the descriptor, not the path, so that what is read is what was
    // checked even if the path changes meanwhile.
    if (::fstat(fd, &st) != 0) {
        int saved = errno;
        ::close(fd);
        HVSetError(error, HVError::posix(saved, path, "Cannot read"));
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(st.st_mode);
    }
    if (std::uint64_t(st.st_size) > maxSize) {
        ::close(fd);
        HVSetError(error, HVError::posix(EFBIG, path, "Cannot open"));
        return std::nullopt;
    }
    // Reads block from here on; a regular file never waits for long.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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
        // A file that grows while it is read may not pass the limit either.
        if (bytes.size() + std::size_t(n) > maxSize) {
            ::close(fd);
            HVSetError(error, HVError::posix(EFBIG, path, "Cannot open"));
            return std::nullopt;
        }
        bytes.append(buffer, std::size_t(n));
    }
    if (identity) {
        // Taken after the read, so that a change during the read shows as a change later.
        if (::fstat(fd, &st) == 0)
            *identity = identityOf(st);
    }
    ::close(fd);
    return bytes;
}

std::optional<HVFileIdentity> HVFileSystem::identityOfFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return identityOf(st);
}

bool HVFileSystem::writeFileAtomically(const std::string& requestedPath, std::string_view bytes,
                                       HVError* error, HVFileIdentity* written) {
    // A link stays a link: the file it ends at is replaced, or created when the link dangles.
    auto resolved = resolvingLinks(requestedPath, error);
    if (!resolved)
        return false;
    const std::string& path = *resolved;
    std::string parent = deletingLastPathComponent(path);
    std::string folder = parent.empty() ? std::string(".") : parent;
    std::string name = lastPathComponent(path);
    removeAbandonedTemporaries(folder, name);

    struct stat old;
    bool hadOld = ::stat(path.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode)) {
        HVSetError(error, notARegularFile(requestedPath, old.st_mode, "Cannot write",
                                          "Only a regular file can be saved over."));
        return false;
    }
    // A rename needs no permission on the file itself, but whoever may not change the file
    // may not replace it either.
    if (hadOld && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        HVSetError(error, HVError::posix(errno, requestedPath, "Cannot write"));
        return false;
    }

    // A rename would leave the file's other names with the old bytes, and needs a folder that
    // may be written.
    if (hadOld &&
        (old.st_nlink > 1 || ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0))
        return rewriteInPlace(path, requestedPath, bytes, error, written);

    // The kernel applies the umask to a new file's mode; an old file's mode is copied below.
    std::string temporary;
    int fd = createTemporary(folder, name, hadOld ? 0600 : 0666, &temporary);
    if (fd < 0) {
        // Names the folder: for a link it is not the one the user sees.
        HVSetError(error, HVError::posix(errno, folder, "Cannot create a file in the folder"));
        return false;
    }
    auto discard = [&] {
        ::unlink(temporary.c_str());
        ::close(fd);
    };
    auto fail = [&](int saved, const char* what) {
        discard();
        HVSetError(error, HVError::posix(saved, requestedPath, what));
        return false;
    };
    // Only root may give a file away: anyone else keeps another user's file by rewriting it.
    if (hadOld && !takeOwnership(fd, old)) {
        discard();
        return rewriteInPlace(path, requestedPath, bytes, error, written);
    }
    if (!writeAllAt(fd, bytes, 0))
        return fail(errno, "Cannot write");
    // After the change of owner and the write, either of which clears the set-user-ID and
    // set-group-ID bits.
    if (hadOld && ::fchmod(fd, old.st_mode & 07777) != 0)
        return fail(errno, "Cannot set the permissions of");
    if (::fsync(fd) != 0)
        return fail(errno, "Cannot write");
    // Still locked, so that another save's clean-up cannot take the file before the rename.
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        return fail(errno, "Cannot replace");
    syncFolder(folder);
    storeIdentity(fd, written);
    ::close(fd);
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

std::optional<std::string> HVFileSystem::resolvingLinks(const std::string& path, HVError* error) {
    std::string current = path;
    // The kernel's own limit on links in one lookup.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0) {
            // A cycle among the folders on the way shows only here; anything else means the
            // file does not exist (yet), which is where the path ends.
            if (errno != ELOOP)
                return current;
            break;
        }
        if (!S_ISLNK(st.st_mode))
            return current;
        // A full-sized buffer: the link may have been replaced by a longer one since lstat.
        char target[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), target, sizeof target);
        if (n < 0) {
            HVSetError(error, HVError::posix(errno, path, "Cannot follow the link"));
            return std::nullopt;
        }
        std::string next(target, std::size_t(n));
        // A relative target is relative to the folder that holds the link.
        if (next.empty() || next.front() != '/')
            next = appendingPathComponent(deletingLastPathComponent(current), next);
        current = std::move(next);
    }
    HVSetError(error, HVError::posix(ELOOP, path, "Cannot follow the link"));
    return std::nullopt;
}

std::string HVFileSystem::standardizingPath(const std::string& path) {
    if (path.empty())
        return path;
    std::string absolute = absolutePath(path);
    std::string clean;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t slash = absolute.find('/', start);
        if (slash == std::string::npos)
            slash = absolute.size();
        std::string_view part(absolute.data() + start, slash - start);
        // "a/link/.." is the folder above the link's target, not "a": only the kernel knows.
        if (part == "..")
            return canonicalPath(absolute);
        if (!part.empty() && part != ".") {
            clean += '/';
            clean += part;
        }
        start = slash + 1;
    }
    return clean.empty() ? "/" : clean;
}

std::string HVFileSystem::canonicalPath(const std::string& path) {
    std::string absolute = absolutePath(path);
    // One component at a time, so that ".." after a link leaves the link's target as it does
    // when the path is opened: while the path exists the kernel resolves it; the part that
    // does not exist is cleaned up as text.
    std::string resolved = "/";
    std::size_t start = 0;
    while (start < absolute.size()) {
        std::size_t slash = absolute.find('/', start);
        if (slash == std::string::npos)
            slash = absolute.size();
        std::string_view part(absolute.data() + start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            resolved = deletingLastPathComponent(resolved);
            continue;
        }
        std::string next = appendingPathComponent(resolved, part);
        char buffer[PATH_MAX];
        resolved = ::realpath(next.c_str(), buffer) ? std::string(buffer) : std::move(next);
    }
    return resolved;
}

bool HVFileSystem::isSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return false;
    struct stat sa, sb;
    bool hasA = ::stat(a.c_str(), &sa) == 0, hasB = ::stat(b.c_str(), &sb) == 0;
    if (hasA && hasB)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (hasA != hasB)
        return false;
    return canonicalPath(a) == canonicalPath(b);
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

namespace {

std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        std::size_t slash = path.find('/');
        std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

} // namespace

std::string HVFileSystem::relativePathTo(std::string_view file, std::string_view folder) {
    std::vector<std::string_view> to = components(file), from = components(folder);
    std::size_t common = 0;
    while (common < to.size() && common < from.size() && to[common] == from[common])
        ++common;
    std::string relative;
    for (std::size_t i = common; i < from.size(); ++i)
        relative += "../";
    for (std::size_t i = common; i < to.size(); ++i) {
        relative += to[i];
        if (i + 1 < to.size())
            relative += '/';
    }
    return relative.empty() ? "." : relative;
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

bool HVFileSystem::moveItem(const std::string& from, const std::string& to, HVError* error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int failure = errno;
    if (failure == EINVAL || failure == ENOSYS) {
        // A file system without the no-replace flag.
        struct stat existing {};
        if (::lstat(to.c_str(), &existing) == 0) {
            failure = EEXIST;
        } else if (::rename(from.c_str(), to.c_str()) == 0) {
            return true;
        } else {
            failure = errno;
        }
    }
    if (failure == EXDEV) {
        std::error_code code;
        std::filesystem::copy(from, to,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::copy_symlinks,
                              code);
        if (!code) {
            std::filesystem::remove_all(from, code);
            if (!code)
                return true;
        }
        failure = code.value();
    }
    HVSetError(error, HVError::posix(failure, from, "Could not move"));
    return false;
}
