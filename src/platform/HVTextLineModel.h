#pragma once

#include "HVRange.h"

#include <cstddef>

class HVTextBuffer;
class HVTextViewModel;

// How a text view finds lines and moves between them. The default works on the text's lines
// and keeps a goal column counted in UTF-16 code units; a view that lays text out replaces it
// with one that works on visual lines and horizontal positions.
class HVTextLineModel {
public:
    virtual ~HVTextLineModel();

    // The line that holds the position, without its line break.
    virtual HVRange lineRangeForPosition(const HVTextViewModel& view, std::size_t position) const;
    // What a vertical move keeps from the position where it started.
    virtual double goalForPosition(const HVTextViewModel& view, std::size_t position) const;
    // The position nearest to the goal, lines below (negative: above) the line holding the
    // position. The target line is limited to the text; when the position's own line is
    // already the first (moving up) or the last (moving down), the start or end of the text.
    virtual std::size_t positionForGoal(const HVTextViewModel& view, std::size_t position,
                                        std::ptrdiff_t lines, double goal) const;

    // A line range of the text without its line break ("\r\n", "\n" or "\r").
    static HVRange withoutLineBreak(const HVTextBuffer& text, HVRange line);
};
