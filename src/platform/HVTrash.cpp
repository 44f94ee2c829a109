#include "HVTrash.h"

#include "HVFileSystem.h"
#include "HVPercentEncoding.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

HVError trashError(int errnoValue, const std::string& path, const std::string& reason) {
    HVError error = HVError::posix(errnoValue, path, "Could not move to the trash");
    if (!reason.empty())
        error.setRecoverySuggestion(reason);
    return error;
}

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// A directory of ours that nobody else can plant entries in: made when missing, and refused
// when it is a link, someone else's, or open to others.
bool ensurePrivateDirectory(const std::string& path, HVError* error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        HVSetError(error, trashError(errno, path, "The trash folder could not be created."));
        return false;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        HVSetError(error, trashError(errno, path, ""));
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        HVSetError(error, trashError(EPERM, path,
                                     "The trash folder is not a folder of yours, so it is not "
                                     "used."));
        return false;
    }
    return true;
}

// The folders below a trash directory; both are made when missing.
bool ensureTrashLayout(const std::string& trash, HVError* error) {
    return ensurePrivateDirectory(trash, error) &&
           ensurePrivateDirectory(trash + "/files", error) &&
           ensurePrivateDirectory(trash + "/info", error);
}

// The top directory of the mount that holds the path: the last ancestor on the same device.
std::string topDirectoryOf(const std::string& path, dev_t device) {
    std::string top = path;
    while (top != "/") {
        const std::string parent = HVFileSystem::deletingLastPathComponent(top);
        const std::string candidate = parent.empty() ? "/" : parent;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) != 0 || info.st_dev != device)
            break;
        top = candidate;
    }
    return top;
}

// The trash for a file on another device than the home trash: $topdir/.Trash/$uid when the
// administrator provides a shared .Trash (a real directory with the sticky bit), else
// $topdir/.Trash-$uid.
std::optional<std::string> topDirectoryTrash(const std::string& top, HVError* error) {
    const std::string uid = std::to_string(::geteuid());
    const std::string base = top == "/" ? "" : top;
    const std::string shared = base + "/.Trash";
    struct stat info {};
    if (::lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)) {
        const std::string mine = shared + "/" + uid;
        HVError ignored;
        if (ensureTrashLayout(mine, &ignored))
            return mine;
    }
    const std::string own = base + "/.Trash-" + uid;
    if (!ensureTrashLayout(own, error))
        return std::nullopt;
    return own;
}

} // namespace

std::string HVHomeTrashDirectory() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const std::string base = dataHome && *dataHome == '/'
                                 ? std::string(dataHome)
                                 : HVFileSystem::homeDirectory() + "/.local/share";
    return base + "/Trash";
}

bool HVMoveToTrash(const std::string& givenPath, HVError* error) {
    const std::string path = HVFileSystem::standardizingPath(givenPath);
    struct stat file {};
    if (::lstat(path.c_str(), &file) != 0) {
        HVSetError(error, trashError(errno, path, ""));
        return false;
    }

    const std::string homeTrash = HVHomeTrashDirectory();
    // The home trash's parents may be missing on a fresh account.
    const std::string dataHome = HVFileSystem::deletingLastPathComponent(homeTrash);
    HVFileSystem::createDirectory(dataHome, 0700);
    struct stat home {};
    std::string trash;
    std::string recordedPath;
    if (::stat(dataHome.c_str(), &home) != 0 || home.st_dev == file.st_dev) {
        // A file beside the home trash goes there or nowhere.
        HVError homeError;
        if (!ensureTrashLayout(homeTrash, &homeError)) {
            HVSetError(error, trashError(homeError.code(), path,
                                         "The trash cannot be used: " + homeError.description()));
            return false;
        }
        trash = homeTrash;
        recordedPath = path;
    } else {
        const std::string top = topDirectoryOf(path, file.st_dev);
        HVError topError;
        const auto found = topDirectoryTrash(top, &topError);
        if (!found) {
            HVSetError(error, trashError(EXDEV, path,
                                         "There is no usable trash on the disk that holds it: " +
                                             topError.description()));
            return false;
        }
        trash = *found;
        // Paths in a mount's own trash are relative to the mount, so it survives remounting.
        recordedPath = path.substr(top == "/" ? 1 : top.size() + 1);
    }

    // The info file, made exclusively, reserves the name in files/ as well.
    const std::string name = HVFileSystem::lastPathComponent(path);
    const std::string extension = HVFileSystem::pathExtension(name);
    const std::string stem = extension.empty() || extension.size() + 1 >= name.size()
                                 ? name
                                 : name.substr(0, name.size() - extension.size() - 1);
    const std::string contents = "[Trash Info]\nPath=" + HVPercentEncodePath(recordedPath) +
                                 "\nDeletionDate=" + deletionDate() + "\n";
    for (int attempt = 1; attempt < 10000; ++attempt) {
        const std::string candidate = attempt == 1 ? name
                                                   : stem + "." + std::to_string(attempt) +
                                                         (stem == name ? "" : "." + extension);
        const std::string info = trash + "/info/" + candidate + ".trashinfo";
        const int fd =
            ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            HVSetError(error, trashError(errno, info, "The trash's record could not be written."));
            return false;
        }
        const std::string target = trash + "/files/" + candidate;
        struct stat existing {};
        if (::lstat(target.c_str(), &existing) == 0) {
            // Left over from another program: never overwrite what the trash holds.
            ::close(fd);
            ::unlink(info.c_str());
            continue;
        }
        const bool written =
            ::write(fd, contents.data(), contents.size()) == ssize_t(contents.size()) &&
            ::fsync(fd) == 0;
        const int writeErrno = errno;
        ::close(fd);
        if (!written) {
            ::unlink(info.c_str());
            HVSetError(error,
                       trashError(writeErrno, info, "The trash's record could not be written."));
            return false;
        }
        if (::rename(path.c_str(), target.c_str()) != 0) {
            const int renameErrno = errno;
            ::unlink(info.c_str());
            HVSetError(error, trashError(renameErrno, path, ""));
            return false;
        }
        return true;
    }
    HVSetError(error, trashError(EEXIST, path, "The trash holds too many items of this name."));
    return false;
}
