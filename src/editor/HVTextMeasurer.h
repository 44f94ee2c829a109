#pragma once

#include "HVRange.h"

#include <cstddef>
#include <vector>

// One piece of a text line as the display scrolls and lays it out: the line, and which piece
// of it (0 unless the line is longer than the display's segment length).
struct HVDisplayUnit {
    std::size_t line = 0;
    std::size_t segment = 0;
    friend bool operator==(const HVDisplayUnit&, const HVDisplayUnit&) = default;
};

// Lays out one unit of text the way the display draws it, so that the display model can scroll,
// hit-test and place the caret without knowing fonts. Offsets count UTF-16 code units from the
// start of the unit's range; rows are the lines a unit wraps into.
class HVTextMeasurer {
public:
    virtual ~HVTextMeasurer() = default;

    // Where each row of the unit starts; the first is 0, and there is always one.
    virtual std::vector<std::size_t> rowStarts(HVDisplayUnit unit, HVRange range) = 0;
    // The x of the caret before the character at the offset, which lies on the row.
    virtual double xForOffset(HVDisplayUnit unit, HVRange range, std::size_t row,
                              std::size_t offset) = 0;
    // The caret offset on the row nearest to x (between the row's start and its end).
    virtual std::size_t offsetForX(HVDisplayUnit unit, HVRange range, std::size_t row,
                                   double x) = 0;
};
