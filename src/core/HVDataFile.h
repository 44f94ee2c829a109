#pragma once

#include "HVError.h"
#include "HVPlistValue.h"

#include <optional>
#include <string>
#include <string_view>

// One property list of the "data" resources that the user's copy in the support directory
// overrides: "data/<name>.plist". Reading falls back to the shipped copy when the user's copy
// cannot be used; writing never destroys a user copy that could not be read.
class HVDataFile {
public:
    struct Contents {
        HVPlistValue value;
        std::string path;
        bool fromUserCopy = false;
    };

    // name: the resource name without extension ("siteViewFiles"); what: how a user calls
    // its content ("file filters"), for error descriptions.
    HVDataFile(std::string name, std::string what);

    // support directory / "data" / name ".plist".
    std::string userPath() const;
    // The shipped copy in the resources' "data" folder, else at the top of the resources.
    std::optional<std::string> shippedPath() const;

    // Reads the user's copy if there is one, else the shipped one. A copy that does not parse
    // or whose top level is not of the given type is reported in error; for the user's copy,
    // the shipped one is read instead and userCopyUnreadable is set. None when there is no
    // usable copy at all (with an error unless no copy exists).
    std::optional<Contents> read(HVPlistValue::Type topLevel, bool* userCopyUnreadable,
                                 HVError* error = nullptr) const;

    // Writes the value as an XML property list to userPath() atomically, creating the folder.
    // With keepUserCopyAside, an existing user copy is first renamed to
    // "<name>.plist.unreadable" (or ".unreadable-2", ...) so that it is not lost.
    bool write(const HVPlistValue& value, bool keepUserCopyAside, HVError* error = nullptr) const;

    // The error record for a copy whose content was only partly usable.
    HVError partlyUnreadableError(const Contents& contents, const std::string& problems) const;

private:
    std::string m_name;
    std::string m_what;
};
