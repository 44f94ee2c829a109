#pragma once

#include "HVParser.h"
#include "HVRange.h"

#include <cstddef>

// What the gutter asks of the editor: the decisions that need the text. Every operation is
// optional; the defaults answer "no marker" and do nothing.
class HVLineNumberingRulerViewDelegate {
public:
    virtual ~HVLineNumberingRulerViewDelegate() = default;

    // Whether the line (its range without the terminator) carries a marker, and which.
    virtual HVFoldState rangeNeedsMarker(HVRange line) {
        (void)line;
        return HVFoldState::None;
    }
    // For a collapsed line, the lines its first region hides; else 0.
    virtual std::size_t numberOfLinesForState(HVFoldState state, std::size_t lineStart) {
        (void)state, (void)lineStart;
        return 0;
    }
    // How far the line steps the nesting: 1 for a collapsed line, else the matches on the
    // whole line of the opener (Opener) or the closer (Closer, CloserThenOpener).
    virtual std::size_t countForState(HVFoldState state, std::size_t lineStart) {
        (void)state, (void)lineStart;
        return 0;
    }
    // Collapses the region that runs from the opener on the first line to the closer on the
    // last one (HVNotFound: to the end of the text). type is the toggled marker's state, offset
    // which of several matches on the matching line pairs with it.
    virtual void collapseFromGlyphIndex(std::size_t first, std::size_t last, HVFoldState type,
                                        std::size_t offset) {
        (void)first, (void)last, (void)type, (void)offset;
    }
    // Expands the first collapsed region at or after the position.
    virtual void expandForMarkerWithGlyphIndex(std::size_t index) { (void)index; }
    // Selects the whole line of the position, terminator included.
    virtual void selectLineForGlyphIndex(std::size_t index) { (void)index; }
};
