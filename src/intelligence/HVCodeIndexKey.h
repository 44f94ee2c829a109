#pragma once

#include <string>

// One symbol the index answers: its name, the text completion inserts, its kind ("function",
// "class", …) and the language that found it (the parser identifier).
struct HVCodeIndexKey {
    std::u16string key;
    std::u16string completion;
    std::u16string type;
    std::string classString;

    bool hasPrefix(std::u16string_view prefix) const { return key.starts_with(prefix); }
    std::size_t length() const { return key.size(); }
    friend bool operator==(const HVCodeIndexKey&, const HVCodeIndexKey&) = default;
};
