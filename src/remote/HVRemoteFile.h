#pragma once

#include <cstdint>
#include <optional>
#include <string>

// One entry of a remote directory listing. Fields the listing did not show stay unset.
class HVRemoteFile {
public:
    // The listed directory joined with the name by "/".
    std::string path;
    std::string name;
    std::optional<std::string> user;
    std::optional<std::string> group;
    std::optional<std::string> dateString;
    std::uint64_t size = 0;
    bool isDirectory = false;
    bool isSymlink = false;

    const std::optional<std::string>& modeString() const { return m_modeString; }
    // Also marks a directory ("d...") or a link ("l..."); never clears either mark.
    void setModeString(std::string mode);
    // The listed mode, else a placeholder for a directory or a link, else none.
    std::optional<std::string> effectiveModeString() const;
    // "--" for a directory, else the size in decimal.
    std::string sizeString() const;

private:
    std::optional<std::string> m_modeString;
};
