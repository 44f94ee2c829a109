#pragma once

#include <map>
#include <string>
#include <string_view>

// How typing ">" completes a markup element and how closing tags count it, from the resource
// "specialTagFormatting" (a dictionary from lower-case element name to a code). The user may
// edit their copy at any time, so a command loads the table when it starts and drops it after.
class HVTagFormatting {
public:
    static constexpr int Never = -1; // never completed, never counted when closing tags
    static constexpr int Inline = 0; // the closing tag follows at once
    static constexpr int Empty = 1;  // a void element: no closing tag
    static constexpr int Block = 3;  // closing tag on its own line, content indented between

    // The user's copy, else the shipped table; empty when neither can be read.
    static HVTagFormatting load();
    explicit HVTagFormatting(std::map<std::string, int, std::less<>> codes = {});

    // Looked up in lower case; Inline when the name has no entry.
    int codeForTag(std::u16string_view name) const;
    bool hasEntry(std::u16string_view name) const;

private:
    std::map<std::string, int, std::less<>> m_codes;
};
