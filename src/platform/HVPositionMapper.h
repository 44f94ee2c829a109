#pragma once

#include "HVRange.h"

#include <cstddef>
#include <vector>

// Makes positions (a selection, marks) follow an edit of one or more ranges. A position at or
// before the start of a replaced range keeps its place, one inside it moves to the end of the
// new text, and one at or after its end moves with the characters after it.
class HVPositionMapper {
public:
    HVPositionMapper() = default;
    // One replacement of oldRange by newLength characters.
    HVPositionMapper(HVRange oldRange, std::size_t newLength);

    // Adds a replacement; ranges are added in ascending order, none overlapping the one before,
    // in positions of the text before the edit.
    void add(HVRange oldRange, std::size_t newLength);
    // Room for that many replacements, when many are added.
    void reserve(std::size_t count) { m_replacements.reserve(count); }

    std::size_t map(std::size_t oldPosition) const;
    // Both ends mapped.
    HVRange map(HVRange oldRange) const;

private:
    struct Replacement {
        HVRange oldRange;
        std::size_t newLength;
    };
    std::vector<Replacement> m_replacements;
};
