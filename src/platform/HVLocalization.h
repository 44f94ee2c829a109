#pragma once

#include <string>
#include <string_view>

// User-visible texts are looked up by key; the English text is the fallback, and a key
// without an entry stands for itself.
class HVLocalization {
public:
    static std::string localizedString(std::string_view key);
    // Replaces each "%@" in turn by the arguments.
    static std::string format(std::string_view pattern,
                              std::initializer_list<std::string_view> args);
};
