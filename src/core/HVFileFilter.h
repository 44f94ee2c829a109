#pragma once

#include "HVPlistValue.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class HVError;
class HVRegex;

// One name filter of project trees and remote listings: a regular expression that hides every
// file or folder name it matches anywhere, ignoring case. Matching may run on several threads;
// the filter guards its own state.
class HVFileFilter {
public:
    // Ignore case, Unicode.
    static constexpr std::uint32_t regexOptions = 2049;

    // Titled "New Filter" (localized), no pattern, enabled, validated.
    HVFileFilter();
    // Enabled, titled with its pattern, validated.
    explicit HVFileFilter(std::string_view pattern);
    ~HVFileFilter();
    // Copies carry title, pattern, enabled and valid; they start unmodified and compile anew.
    HVFileFilter(const HVFileFilter& other);
    HVFileFilter& operator=(const HVFileFilter& other);

    static std::shared_ptr<HVFileFilter> filterWithPattern(std::string_view pattern);
    // One element of the filter file ("Title", "Regex", "Enabled"), then validated. None, with
    // an error, when the element is not a dictionary; a key of the wrong type counts as absent
    // and is reported in error while the filter is still made.
    static std::shared_ptr<HVFileFilter> initWithPlist(const HVPlistValue& plist,
                                                       HVError* error = nullptr);
    HVPlistValue plistRepresentation() const;

    // Whether the enabled filter's expression matches anywhere in the name. A missing or empty
    // pattern, and one that does not compile, match nothing.
    bool matchesString(std::string_view name) const;
    // Valid: the title is not empty, and the pattern is empty or compiles. Returns valid().
    bool validate();

    std::string title() const;
    void setTitle(std::string title);
    std::optional<std::string> pattern() const;
    // A different pattern drops the compiled expression.
    void setPattern(std::optional<std::string> pattern);
    bool enabled() const;
    void setEnabled(bool enabled);
    bool valid() const;
    void setValid(bool valid);
    bool modified() const;
    void setModified(bool modified);

    // The editing path of the preferences: sets "title", "pattern" (a string, or none to
    // remove it) or "enabled", revalidates and marks the filter modified. False, changing
    // nothing, for another key or a value of the wrong type.
    bool setValue(std::string_view key, const HVPlistValue& value);

private:
    mutable std::mutex m_mutex;
    std::string m_title;
    std::optional<std::string> m_pattern;
    bool m_enabled = true;
    bool m_valid = false;
    bool m_modified = false;
    // Made on the first match; m_compileFailed remembers a pattern that does not compile.
    mutable std::unique_ptr<HVRegex> m_regex;
    mutable bool m_compileFailed = false;

    bool validateLocked();
};
