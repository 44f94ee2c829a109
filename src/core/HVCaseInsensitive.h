#pragma once

#include <string_view>

// Comparison of UTF-8 names (category titles, extensions) by Unicode case folding.
class HVCaseInsensitive {
public:
    // Negative, zero or positive as a sorts before, equal to or after b, ignoring case.
    static int compare(std::string_view a, std::string_view b);
    static bool equal(std::string_view a, std::string_view b) { return compare(a, b) == 0; }
    static bool less(std::string_view a, std::string_view b) { return compare(a, b) < 0; }
};
