#include "HVLocalFile.h"

#include "HVFileFilters.h"
#include "HVFileRepresentation.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"

#include <algorithm>
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

std::shared_ptr<HVLocalFile> HVLocalFile::initWithPath(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return nullptr;
    std::shared_ptr<HVLocalFile> file(new HVLocalFile);
    file->m_name = HVFileSystem::lastPathComponent(path);
    std::vector<char> buffer(4096);
    struct group groupEntry {};
    struct group* foundGroup = nullptr;
    if (::getgrgid_r(info.st_gid, &groupEntry, buffer.data(), buffer.size(), &foundGroup) == 0 &&
        foundGroup)
        file->m_group = foundGroup->gr_name;
    struct passwd userEntry {};
    struct passwd* foundUser = nullptr;
    if (::getpwuid_r(info.st_uid, &userEntry, buffer.data(), buffer.size(), &foundUser) == 0 &&
        foundUser)
        file->m_owner = foundUser->pw_name;
    file->m_date = std::int64_t(info.st_mtim.tv_sec);
    file->m_isDirectory = S_ISDIR(info.st_mode);
    file->m_modeString = HVFileRepresentation::stringFromMode(std::uint16_t(info.st_mode));
    file->m_size = std::uint64_t(info.st_size);
    return file;
}

std::vector<std::shared_ptr<HVLocalFile>> HVLocalFile::filesForPath(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* folder = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(folder);
    }
    std::sort(names.begin(), names.end());
    auto& filters = HVFileFilters::sharedFilters();
    std::vector<std::shared_ptr<HVLocalFile>> files;
    for (const std::string& name : names) {
        if (filters.stringMatchesFilters(name))
            continue;
        if (auto file = initWithPath(HVFileSystem::appendingPathComponent(directory, name)))
            files.push_back(std::move(file));
    }
    return files;
}

std::string HVLocalFile::sizeString() const {
    return m_isDirectory ? std::string("--") : HVFileRepresentation::formattedStringForSize(m_size);
}

void HVLocalFile::rename(std::string newName) {
    m_name = std::move(newName);
    HVNotificationCenter::defaultCenter().postNotificationName(NameDidChangeNotification, this);
}
