#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One row of transfer mode's local pane: a snapshot of a file's status, read once.
class HVLocalFile {
public:
    // Posted with the record as object when rename() changes its name.
    static constexpr const char* NameDidChangeNotification = "HVLocalFileNameDidChange";

    // None when the file's status cannot be read (links are followed).
    static std::shared_ptr<HVLocalFile> initWithPath(const std::string& path);
    // The folder's entries, minus those the shared file filters hide and those that cannot be
    // read, in name order.
    static std::vector<std::shared_ptr<HVLocalFile>> filesForPath(const std::string& directory);

    const std::string& name() const { return m_name; }
    const std::optional<std::string>& owner() const { return m_owner; }
    const std::optional<std::string>& group() const { return m_group; }
    // Whole seconds since 1970.
    std::int64_t date() const { return m_date; }
    bool isDirectory() const { return m_isDirectory; }
    // "-rw-r--r-- ".
    const std::string& modeString() const { return m_modeString; }
    std::uint64_t size() const { return m_size; }
    // "--" for a folder, else "1023 B", "2 KB", ...
    std::string sizeString() const;

    // Only the record's name changes, after the file was renamed on disk by its owner.
    void rename(std::string newName);

private:
    HVLocalFile() = default;

    std::string m_name;
    std::optional<std::string> m_owner;
    std::optional<std::string> m_group;
    std::int64_t m_date = 0;
    bool m_isDirectory = false;
    std::string m_modeString;
    std::uint64_t m_size = 0;
};
