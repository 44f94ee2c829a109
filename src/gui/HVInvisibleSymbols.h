#pragma once

#include "HVRange.h"

#include <cstddef>
#include <vector>

class HVTextBuffer;

// A character that does not show, and the symbol that shows it in its place.
struct HVInvisibleSymbol {
    std::size_t position = 0;
    char16_t symbol = 0;
    friend bool operator==(const HVInvisibleSymbol&, const HVInvisibleSymbol&) = default;
};

// The symbols for the spaces, tabs and line breaks of the range: a middle dot for a space, a
// midline ellipsis for a tab, a pilcrow for a line break (CR LF is one break, shown at its CR)
// and for the line and paragraph separators.
std::vector<HVInvisibleSymbol> HVInvisibleSymbolsInRange(const HVTextBuffer& text, HVRange range);
