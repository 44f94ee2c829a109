#include "HVPrivateDownloadDirectory.h"

#include "HVFileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

HVError unsafe(const std::string& path, const std::string& reason) {
    HVError error = HVError::posix(EPERM, path, "Cannot use the folder for downloads");
    error.setRecoverySuggestion(reason);
    return error;
}

// The path is a real folder (not a link), ours, and closed to everyone else.
bool isPrivateDirectory(const std::string& path, HVError* error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        HVSetError(error, HVError::posix(errno, path, "Cannot use the folder for downloads"));
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        HVSetError(error, unsafe(path, "It is not a folder."));
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        HVSetError(error, unsafe(path, "It belongs to another user."));
        return false;
    }
    if ((info.st_mode & 0777) != 0700) {
        HVSetError(error, unsafe(path, "Other users can open it."));
        return false;
    }
    return true;
}

// Makes the folder with mode 0700 unless it exists, then checks what is there through a
// descriptor opened without following a link.
bool makePrivateDirectory(const std::string& path, HVError* error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        HVSetError(error, HVError::posix(errno, path, "Cannot create the folder"));
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        HVSetError(error, errno == ELOOP || errno == ENOTDIR
                              ? unsafe(path, "Something other than a folder is in its place.")
                              : HVError::posix(errno, path, "Cannot open the folder"));
        return false;
    }
    struct stat info {};
    const bool examined = ::fstat(fd, &info) == 0;
    ::close(fd);
    if (!examined || info.st_uid != ::geteuid() || (info.st_mode & 0777) != 0700) {
        HVSetError(error, unsafe(path, "It belongs to another user or others can open it."));
        return false;
    }
    return true;
}

std::string temporaryDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp == '/' ? std::string(tmp) : std::string("/tmp");
}

} // namespace

std::optional<std::string> HVPrivateDownloadDirectory(HVError* error) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        HVError ignored;
        if (isPrivateDirectory(runtime, &ignored)) {
            const std::string path = std::string(runtime) + "/halvet-downloads";
            if (makePrivateDirectory(path, error))
                return path;
            return std::nullopt;
        }
    }
    // A name nobody can guess, made by us; kept for the process while it stays ours.
    static std::mutex mutex;
    static std::string made;
    std::lock_guard lock(mutex);
    HVError ignored;
    if (!made.empty() && made.starts_with(temporaryDirectory() + "/") &&
        isPrivateDirectory(made, &ignored))
        return made;
    const auto path = HVFileSystem::makeTemporaryDirectory(
        temporaryDirectory() + "/halvet-downloads-XXXXXX", error);
    if (!path)
        return std::nullopt;
    made = *path;
    return made;
}

std::optional<std::string> HVPrivateDownloadDirectoryForNode(const std::string& uuid,
                                                             HVError* error) {
    if (uuid.empty() || uuid == "." || uuid == ".." || uuid.find('/') != std::string::npos) {
        HVSetError(error, unsafe(uuid, "The name is not a single folder name."));
        return std::nullopt;
    }
    const auto base = HVPrivateDownloadDirectory(error);
    if (!base)
        return std::nullopt;
    const std::string path = *base + "/" + uuid;
    if (!makePrivateDirectory(path, error))
        return std::nullopt;
    return path;
}
