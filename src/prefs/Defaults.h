#pragma once

#include "HVError.h"
#include "HVPlistValue.h"
#include "HVPropertyList.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The editor font as the preferences store it.
struct HVFontDescription {
    std::string family;
    double pointSize = 11.0;
    friend bool operator==(const HVFontDescription&, const HVFontDescription&) = default;
};

// Preference defaults, the typed preferences that need care, the support directory and the
// rule by which the user's copy of a resource takes the place of the shipped one.
class Defaults {
public:
    // The registered keys and their defaults, in registration order.
    static const std::vector<std::pair<std::string, HVPlistValue>>& defaultValues();
    // Stores each default whose key has no value yet, then flushes the store.
    static void resetDefaults();

    static HVFontDescription defaultFont();
    static void setDefaultFont(const HVFontDescription& font);
    static bool useSharedProjectLocation();
    static bool promptToSearchLocalCache();
    static bool searchLocalCacheForRemoteProjects();
    static std::string textEncoding();

    // "$XDG_DATA_HOME/Halvet", by default "~/.local/share/Halvet".
    static std::string supportDirectory();
    static std::string appSupportPathForFile(std::string_view name = {});
    static std::string appSupportPathForFile(std::string_view name, std::string_view directory);
    // "/tmp/Halvet", created at start with mode 0775.
    static std::string temporaryDirectory();
    // The shipped data: $HALVET_RESOURCES_DIR, else share/halvet beside the installed program,
    // else the source tree's resources folder.
    static std::string applicationResourcesDirectory();

    // The subfolders of the support directory, each created when missing.
    static const std::vector<std::string>& supportSubdirectories();
    // Creates the temporary directory and the support directory with its subfolders; fills
    // "TidyConfigFiles" and "userscripts" from the shipped "Tidy" and "User Scripts" folders.
    static bool createSupportDirectories(HVError* error = nullptr);

    // The user's copy in the support directory if it exists, else the shipped resource in that
    // directory, else the shipped one at the top of the resources.
    static std::optional<std::string> pathForResource(std::string_view name, std::string_view type,
                                                      std::string_view directory);
    // Every user copy (recursively, first) and every shipped resource of one extension.
    static std::vector<std::string> pathsForResourcesOfType(std::string_view type,
                                                            std::string_view directory);

    static bool writePlist(const HVPlistValue& plist, const std::string& path, HVPlistFormat format,
                           HVError* error = nullptr);
};
