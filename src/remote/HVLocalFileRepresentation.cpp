#include "HVLocalFileRepresentation.h"

#include "HVFileSystem.h"
#include "HVTrash.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <mutex>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

// Listing a folder asks for the same few owners thousands of times, and each lookup reads
// the user and group databases again: the answers are kept for the program's life.
template <typename Id, typename Entry, typename Lookup>
std::optional<std::string> cachedName(Id id, Lookup lookup, char* Entry::*name) {
    static std::mutex mutex;
    static std::unordered_map<Id, std::optional<std::string>> names;
    std::lock_guard lock(mutex);
    if (auto found = names.find(id); found != names.end())
        return found->second;
    std::vector<char> buffer(4096);
    Entry entry{};
    Entry* found = nullptr;
    std::optional<std::string> answer;
    if (lookup(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        answer = std::string(found->*name);
    names.emplace(id, answer);
    return answer;
}

std::optional<std::string> userName(uid_t uid) {
    return cachedName<uid_t, passwd>(uid, ::getpwuid_r, &passwd::pw_name);
}

std::optional<std::string> groupName(gid_t gid) {
    return cachedName<gid_t, group>(gid, ::getgrgid_r, &group::gr_name);
}

} // namespace

HVLocalFileRepresentation::HVLocalFileRepresentation(std::string name, std::string path)
    : HVFileRepresentation(std::move(name)), m_path(std::move(path)) {}

std::shared_ptr<HVLocalFileRepresentation>
HVLocalFileRepresentation::initWithPath(const std::string& path,
                                        std::weak_ptr<HVFileRepresentationDelegate> delegate) {
    std::shared_ptr<HVLocalFileRepresentation> representation(
        new HVLocalFileRepresentation(HVFileSystem::lastPathComponent(path), path));
    if (!delegate.expired())
        representation->setDelegate(std::move(delegate));
    return representation;
}

std::string HVLocalFileRepresentation::currentPath() const {
    if (const auto delegate = this->delegate()) {
        std::string path = delegate->pathForFileRepresentation(*this);
        if (!path.empty())
            return path;
    }
    return m_path;
}

bool HVLocalFileRepresentation::loadFileAttributes() {
    struct stat info {};
    if (::stat(currentPath().c_str(), &info) != 0)
        return false;
    m_group = groupName(info.st_gid);
    m_owner = userName(info.st_uid);
    m_mode = std::uint16_t(info.st_mode);
    m_modificationDate = std::int64_t(info.st_mtim.tv_sec);
    m_size = std::uint64_t(info.st_size);
    return true;
}

namespace {

// The names in a folder but "." and ".."; none (errno set) when it cannot be read.
std::optional<std::vector<std::string>> namesIn(const std::string& path) {
    DIR* directory = ::opendir(path.c_str());
    if (!directory)
        return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(directory);
    return names;
}

// Every name in the folder, unfiltered, each with its attributes read so that a caller can
// tell folders from files before it adopts them; none when the folder cannot be read.
std::optional<HVFileRepresentationDelegate::Representations> childrenOf(const std::string& path,
                                                                        HVError* error) {
    auto names = namesIn(path);
    if (!names) {
        HVSetError(error, HVError::posix(errno, path, "Could not list the folder"));
        return std::nullopt;
    }
    std::sort(names->begin(), names->end());
    HVFileRepresentationDelegate::Representations children;
    for (const std::string& name : *names) {
        auto child = HVLocalFileRepresentation::initWithPath(
            HVFileSystem::appendingPathComponent(path, name));
        child->loadFileAttributes();
        children.push_back(std::move(child));
    }
    return children;
}

} // namespace

bool HVLocalFileRepresentation::loadChildren() {
    return m_loaded || listChildren(false);
}

bool HVLocalFileRepresentation::reloadChildren() {
    return listChildren(true);
}

bool HVLocalFileRepresentation::listChildren(bool reload) {
    // The delegate may drop this representation while it takes the children.
    const auto self = shared_from_this();
    HVError error;
    const auto children = childrenOf(currentPath(), &error);
    const auto delegate = this->delegate();
    if (!children) {
        if (delegate)
            delegate->hadError(*this, error);
        return false;
    }
    m_loaded = true;
    if (delegate && reload)
        delegate->didReloadChildren(*this, *children);
    else if (delegate)
        delegate->didLoadChildren(*this, *children);
    return true;
}

namespace {

// Removes the path and everything below it, going on past each failure.
bool removeTree(const std::string& path, const std::function<void(const HVError&)>& report) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        report(HVError::posix(errno, path, "Could not delete"));
        return false;
    }
    bool success = true;
    if (S_ISDIR(info.st_mode)) {
        if (auto names = namesIn(path)) {
            for (const std::string& name : *names)
                success &= removeTree(HVFileSystem::appendingPathComponent(path, name), report);
        } else {
            report(HVError::posix(errno, path, "Could not delete"));
            success = false;
        }
        if (::rmdir(path.c_str()) != 0) {
            // A folder that kept a child it could not lose has already been reported.
            if (success)
                report(HVError::posix(errno, path, "Could not delete"));
            return false;
        }
        return success;
    }
    if (::unlink(path.c_str()) != 0) {
        report(HVError::posix(errno, path, "Could not delete"));
        return false;
    }
    return true;
}

} // namespace

void HVLocalFileRepresentation::remove() {
    const auto self = shared_from_this();
    const auto delegate = this->delegate();
    const bool success = removeTree(currentPath(), [&](const HVError& error) {
        if (delegate)
            delegate->hadError(*this, error);
    });
    if (delegate)
        delegate->didDelete(*this, success);
}

void HVLocalFileRepresentation::moveToTrash() {
    const auto self = shared_from_this();
    const auto delegate = this->delegate();
    HVError error;
    const bool success = HVMoveToTrash(currentPath(), &error);
    if (!delegate)
        return;
    if (!success)
        delegate->hadError(*this, error);
    delegate->didMoveToTrash(*this, success);
}

void HVLocalFileRepresentation::duplicate() {
    const auto self = shared_from_this();
    const auto delegate = this->delegate();
    const std::string path = currentPath();
    const std::string target = pathForCopyOfFile(path);
    std::error_code code;
    std::filesystem::copy(path, target,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks,
                          code);
    std::shared_ptr<HVFileRepresentation> copy;
    if (!code) {
        auto made = initWithPath(target);
        made->loadFileAttributes();
        copy = std::move(made);
    }
    if (!delegate)
        return;
    if (code)
        delegate->hadError(*this, HVError::posix(code.value(), path, "Could not duplicate"));
    delegate->didDuplicate(*this, std::move(copy));
}

bool HVLocalFileRepresentation::moveToPath(const std::string& path, Context context) {
    const auto self = shared_from_this();
    const auto delegate = this->delegate();
    HVError error;
    const bool success = HVFileSystem::moveItem(currentPath(), path, &error);
    if (success) {
        m_name = HVFileSystem::lastPathComponent(path);
        m_path = path;
    }
    if (delegate) {
        if (!success)
            delegate->hadError(*this, error);
        delegate->didMove(*this, success, context);
    }
    return success;
}

void HVLocalFileRepresentation::rename(const std::string& newName, Context context) {
    const auto self = shared_from_this();
    const auto delegate = this->delegate();
    const std::string path = currentPath();
    const std::string target = HVFileSystem::appendingPathComponent(
        HVFileSystem::deletingLastPathComponent(path), newName);
    HVError error;
    const bool success = HVFileSystem::moveItem(path, target, &error);
    if (success) {
        m_name = newName;
        m_path = target;
    }
    if (delegate) {
        if (!success)
            delegate->hadError(*this, error);
        delegate->didRename(*this, success, context);
    }
}

std::string HVLocalFileRepresentation::pathForCopyOfFile(const std::string& path) {
    return pathForCopyOfFile(path, " copy", false);
}

std::string HVLocalFileRepresentation::pathForCopyOfFile(const std::string& path,
                                                         const std::string& initialSuffix,
                                                         bool asDirectory) {
    const std::string folder = HVFileSystem::deletingLastPathComponent(path);
    const std::string name = HVFileSystem::lastPathComponent(path);
    const std::string extension = asDirectory ? std::string() : HVFileSystem::pathExtension(name);
    const std::string base =
        extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
    const auto candidate = [&](const std::string& stem) {
        return HVFileSystem::appendingPathComponent(
            folder, extension.empty() ? stem : stem + "." + extension);
    };
    std::string result = candidate(base + initialSuffix);
    // A dangling link counts as taken: a copy must not be written through it.
    struct stat existing {};
    for (int number = 1; ::lstat(result.c_str(), &existing) == 0; ++number)
        result = candidate(base + initialSuffix + " " + std::to_string(number));
    return result;
}
