#include "Defaults.h"

#include "HVFileSystem.h"
#include "HVPreferences.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

#ifndef HALVET_SOURCE_RESOURCES_DIR
#define HALVET_SOURCE_RESOURCES_DIR ""
#endif
#ifndef HALVET_INSTALL_RESOURCES_DIR
#define HALVET_INSTALL_RESOURCES_DIR "share/halvet"
#endif

namespace {

constexpr std::string_view kDefaultFontKey = "HVDefaultFontKey";

std::string withType(std::string_view name, std::string_view type) {
    std::string file(name);
    if (!type.empty()) {
        file += '.';
        file += type;
    }
    return file;
}

std::vector<std::string> sortedEntries(const std::string& directory, bool recursive) {
    std::vector<std::string> entries;
    if (recursive) {
        entries = HVFileSystem::listRecursively(directory);
    } else {
        for (const auto& path : HVFileSystem::listRecursively(directory)) {
            if (HVFileSystem::deletingLastPathComponent(path) == directory)
                entries.push_back(path);
        }
    }
    // Directory listings come in no useful order; sorting keeps every run the same.
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace

const std::vector<std::pair<std::string, HVPlistValue>>& Defaults::defaultValues() {
    static const std::vector<std::pair<std::string, HVPlistValue>> table = {
        {"HVAutoComplete", true},
        {"HVAutoSave", false},
        {"HVAutoCompleteOnType", false},
        {"HVAutoSpecChars", true},
        {"HVAutoTabKey", true},
        {"HVCloseSiteManager", true},
        {"HVDoGrepKey", false},
        {"HVDoMatchCaseKey", false},
        {"HVCurrentThemeID", "com.ternwick.halvet.themes.light"},
        {"HVHighlightKey", true},
        {"HVHowToOpenFiles", 0},
        {"HVLineBreak", 0},
        {"HVLineNums", true},
        {"HVShowFilePropertiesSheet", true},
        {"HVShowSiteManager", true},
        {"HVTabsAreSpaces", false},
        {"HVTabSizeKey", 4},
        {"HVTextEncoding", "utf-8"},
        {"HVWrapText", false},
        {"HVXHTMLTags", false},
        {"HVShowInvisibles", false},
        {"HVSFTPGratuitousLogging", false},
        {"HVSFTPShowLog", true},
        {"HVSFTPLogWidth", 270.0},
        {"HVSFTPTimeout", "90"},
        {"HVUseTabs", true},
        {"HVFTPExecPath", "/usr/bin/ftp"},
        {"HVSFTPExecPath", "/usr/bin/sftp"},
        {"HVWebDAVExecPath", "/usr/local/bin/cadaver"},
        {"HVWebDAVExecType", 0},
        {"HVRemoteFilesSortOrder", 0},
        {"HVSuggestElementsAutomatically", true},
        {"HVSuggestKeywordsAutomatically", false},
        {"HVCodeIndexingEnabled", true},
        {"HVCodeFoldingEnabled", true},
        {"HVDoubleClickToOpenFiles", false},
    };
    return table;
}

void Defaults::resetDefaults() {
    auto& store = HVPreferences::sharedInstance();
    for (const auto& [key, value] : defaultValues()) {
        if (store.hasValueForKey(key))
            continue;
        // Numbers below 2 are stored as booleans, so 0 and 1 read back as false and true.
        if (value.isNumber() && *value.integerValue() < 2)
            store.setObject(key, *value.integerValue() != 0);
        else
            store.setObject(key, value);
    }
    store.flush();
}

HVFontDescription Defaults::defaultFont() {
    auto stored = HVPreferences::sharedInstance().dictionaryForKey(kDefaultFontKey);
    if (stored) {
        HVPlistValue value(*stored);
        auto family = value.stringForKey("family");
        auto size = value.objectForKey("size");
        if (family && !family->empty() && size && size->doubleValue() && *size->doubleValue() > 0)
            return HVFontDescription{*family, *size->doubleValue()};
    }
    return HVFontDescription{"Monospace", 11.0};
}

void Defaults::setDefaultFont(const HVFontDescription& font) {
    HVPlistValue::Dictionary archived;
    archived["family"] = font.family;
    archived["size"] = font.pointSize;
    HVPreferences::sharedInstance().setObject(kDefaultFontKey, std::move(archived));
}

bool Defaults::useSharedProjectLocation() {
    auto value = HVPreferences::sharedInstance().objectForKey("HVUseSharedProjectLocation");
    if (!value || !value->isNumber())
        return true;
    return *value->boolValue();
}

bool Defaults::promptToSearchLocalCache() {
    auto value = HVPreferences::sharedInstance().objectForKey("HVDontPromptToSearchLocalCache");
    if (!value || !value->isNumber())
        return true;
    return !*value->boolValue();
}

bool Defaults::searchLocalCacheForRemoteProjects() {
    auto value =
        HVPreferences::sharedInstance().objectForKey("HVSearchLocalCacheForRemoteProjects");
    if (!value || !value->isNumber())
        return false;
    return *value->boolValue();
}

std::string Defaults::textEncoding() {
    return HVPreferences::sharedInstance().stringForKey("HVTextEncoding").value_or("utf-8");
}

std::string Defaults::supportDirectory() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base =
        (data && *data == '/')
            ? std::string(data)
            : HVFileSystem::appendingPathComponent(HVFileSystem::homeDirectory(), ".local/share");
    return HVFileSystem::appendingPathComponent(base, "Halvet");
}

std::string Defaults::appSupportPathForFile(std::string_view name) {
    return HVFileSystem::appendingPathComponent(supportDirectory(), name);
}

std::string Defaults::appSupportPathForFile(std::string_view name, std::string_view directory) {
    return HVFileSystem::appendingPathComponent(
        HVFileSystem::appendingPathComponent(supportDirectory(), directory), name);
}

std::string Defaults::temporaryDirectory() {
    return "/tmp/Halvet";
}

std::string Defaults::applicationResourcesDirectory() {
    if (const char* dir = std::getenv("HALVET_RESOURCES_DIR"); dir && *dir)
        return dir;
    static const std::string found = [] {
        std::string executable = HVFileSystem::executablePath();
        if (!executable.empty()) {
            std::string prefix = HVFileSystem::deletingLastPathComponent(
                HVFileSystem::deletingLastPathComponent(executable));
            std::string installed =
                HVFileSystem::appendingPathComponent(prefix, HALVET_INSTALL_RESOURCES_DIR);
            if (HVFileSystem::isDirectory(installed))
                return installed;
        }
        return std::string(HALVET_SOURCE_RESOURCES_DIR);
    }();
    return found;
}

const std::vector<std::string>& Defaults::supportSubdirectories() {
    static const std::vector<std::string> names = {
        "data",    "highlighting", "backups",  "snippets",        "codecompletion",
        "Bundles", "Themes",       "Projects", "TidyConfigFiles", "userscripts",
    };
    return names;
}

bool Defaults::createSupportDirectories(HVError* error) {
    std::string tmp = temporaryDirectory();
    if (!HVFileSystem::isDirectory(tmp)) {
        if (!HVFileSystem::createDirectory(tmp, 0775, error))
            return false;
        ::chmod(tmp.c_str(), 0775);
    }
    std::string resources = applicationResourcesDirectory();
    for (const auto& name : supportSubdirectories()) {
        std::string path = appSupportPathForFile(name);
        if (HVFileSystem::isDirectory(path))
            continue;
        std::string seed;
        if (name == "TidyConfigFiles")
            seed = HVFileSystem::appendingPathComponent(resources, "Tidy");
        else if (name == "userscripts")
            seed = HVFileSystem::appendingPathComponent(resources, "User Scripts");
        if (!HVFileSystem::createDirectory(path, 0755, error))
            return false;
        if (!seed.empty() && HVFileSystem::isDirectory(seed) &&
            !HVFileSystem::copyDirectory(seed, path, error))
            return false;
    }
    return true;
}

std::optional<std::string> Defaults::pathForResource(std::string_view name, std::string_view type,
                                                     std::string_view directory) {
    std::string file = withType(name, type);
    std::string user = appSupportPathForFile(file, directory);
    if (HVFileSystem::exists(user))
        return user;
    std::string resources = applicationResourcesDirectory();
    std::string shipped = HVFileSystem::appendingPathComponent(
        HVFileSystem::appendingPathComponent(resources, directory), file);
    if (HVFileSystem::exists(shipped))
        return shipped;
    std::string top = HVFileSystem::appendingPathComponent(resources, file);
    if (HVFileSystem::exists(top))
        return top;
    return std::nullopt;
}

std::vector<std::string> Defaults::pathsForResourcesOfType(std::string_view type,
                                                           std::string_view directory) {
    std::vector<std::string> paths;
    auto matches = [&](const std::string& path) {
        return HVFileSystem::pathExtension(path) == type;
    };
    std::string user = HVFileSystem::appendingPathComponent(supportDirectory(), directory);
    for (const auto& path : sortedEntries(user, true)) {
        if (matches(path))
            paths.push_back(path);
    }
    std::string shipped =
        HVFileSystem::appendingPathComponent(applicationResourcesDirectory(), directory);
    for (const auto& path : sortedEntries(shipped, false)) {
        if (matches(path))
            paths.push_back(path);
    }
    return paths;
}

bool Defaults::writePlist(const HVPlistValue& plist, const std::string& path, HVPlistFormat format,
                          HVError* error) {
    return HVPropertyList::writeToFile(plist, path, format, error);
}
