#pragma once

#include "HVError.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class HVPlistValue;

// The characters that have character entities, from the resource "specialCharacters": a
// dictionary of group names to arrays of { "appearance": the character, "value": the entity }.
// The groups fill the Special Characters menu; the map replaces typed characters. The group
// "Accents" is only for the menu (its characters come from dead keys while typing), entries
// with an empty side are skipped, and a later entry for a character replaces an earlier one.
class HVSpecialCharacters {
public:
    struct Entry {
        std::u16string appearance;
        std::u16string value;
    };
    struct Group {
        std::string name;
        std::vector<Entry> entries;
    };

    HVSpecialCharacters() = default;

    // The user's copy of "data/specialCharacters.plist", else the shipped one.
    static HVSpecialCharacters load(HVError* error = nullptr);
    // Parts of the wrong type are left out and reported in error (the first one); the rest is
    // kept.
    static HVSpecialCharacters fromPropertyList(const HVPlistValue& plist,
                                                HVError* error = nullptr);

    // In name order: a dictionary keeps none of its own.
    const std::vector<Group>& groups() const { return m_groups; }
    // The entity of a character, or null.
    const std::u16string* entityForCharacter(std::u16string_view character) const;
    std::size_t count() const { return m_map.size(); }

    // The text with every character that has an entity replaced, in one pass. *caret, a
    // position in text, moves by what the replacements before it added.
    std::u16string replacingCharacters(std::u16string_view text, std::size_t* caret) const;

private:
    void add(const Entry& entry);

    std::vector<Group> m_groups;
    std::unordered_map<std::u16string, std::u16string> m_map;
    // The characters that start a key, each with its keys, longest first, so that a pass over
    // a text looks up one code unit per position.
    std::unordered_map<char16_t, std::vector<std::u16string>> m_byFirstUnit;
};
