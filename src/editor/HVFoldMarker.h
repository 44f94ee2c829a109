#pragma once

#include "HVParser.h"

#include <cstddef>

// The fold marker of one line: where the line starts, how the fold patterns classify it, and,
// for a line that holds a collapsed region, how many lines the region hides.
struct HVFoldMarker {
    std::size_t glyphIndex = 0;
    HVFoldState state = HVFoldState::Opener;
    // Lines hidden by the collapsed region on this line; 0 for the other states.
    std::size_t numberOfLines = 0;
    // How far the line steps the nesting (the delegate's countForState), kept so that finding
    // the matching marker does not search every line again.
    std::size_t count = 1;

    // -1, 0 or 1 as this marker's line comes before, at or after the other's.
    int compareIndex(const HVFoldMarker& other) const {
        return glyphIndex < other.glyphIndex ? -1 : glyphIndex > other.glyphIndex ? 1 : 0;
    }
    friend bool operator==(const HVFoldMarker&, const HVFoldMarker&) = default;
};
