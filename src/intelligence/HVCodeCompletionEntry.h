#pragma once

#include "HVError.h"

#include <optional>
#include <string>

// One line of the completion pop-up: what the user types (key, which sorts and filters), the
// kind shown in the type column, and the text it inserts (prototype) before placeholders are
// made. Strings are UTF-16, as the text they go into.
class HVCodeCompletionEntry {
public:
    HVCodeCompletionEntry() = default;
    HVCodeCompletionEntry(std::u16string key, std::optional<std::u16string> type,
                          std::u16string prototype, bool hideOnComplete);
    // Reads "type prototype" (split at the first space); without a space the whole string is
    // the prototype and there is no type.
    static HVCodeCompletionEntry initWithStringRepresentation(std::u16string key,
                                                              std::u16string_view representation,
                                                              bool hideOnComplete);

    const std::u16string& key() const { return m_key; }
    // What the editing pane checks before it keeps a key: false, with the reason, for a blank
    // one.
    static bool validateKey(std::u16string_view key, HVError* error = nullptr);
    // Setting the key of an entry without a prototype makes the key its prototype too.
    void setKey(std::u16string key);
    const std::optional<std::u16string>& type() const { return m_type; }
    void setType(std::optional<std::u16string> type) { m_type = std::move(type); }
    const std::u16string& prototype() const { return m_prototype; }
    void setPrototype(std::u16string prototype) { m_prototype = std::move(prototype); }
    bool hideOnComplete() const { return m_hideOnComplete; }
    void setHideOnComplete(bool hide) { m_hideOnComplete = hide; }

    // "type prototype"; an entry without a type gives a leading space.
    std::u16string stringRepresentation() const;
    // The text inserted: optional "[...]" parts dropped, and every parameter before a comma or
    // a closing parenthesis made a "[*name*]" placeholder.
    std::u16string completion() const;

    friend bool operator==(const HVCodeCompletionEntry&, const HVCodeCompletionEntry&) = default;

private:
    std::u16string m_key;
    std::optional<std::u16string> m_type;
    std::u16string m_prototype;
    bool m_hideOnComplete = true;
};
