#pragma once

#include "HVRange.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

// Finds a literal string in UTF-16 text, exactly or ignoring case.
//
// Ignoring case compares code point by code point after simple Unicode case folding (one code
// point to one code point), so "ПРИВЕТ" finds "привет", "STRAẞE" finds "straße" and the Kelvin
// sign finds "k", while "ss" does not find "ß" (that needs full folding, which changes lengths).
// The subject is never copied or folded as a whole: positions stay those of the original text,
// and a match never begins or ends between the two halves of a surrogate pair.
class HVLiteralMatcher {
public:
    HVLiteralMatcher() = default;
    HVLiteralMatcher(std::u16string_view needle, bool caseSensitive);

    // The first occurrence lying wholly inside the range, or the last one when reverse; not found
    // (location HVNotFound) otherwise, and always for an empty needle. The range is clamped to
    // the subject.
    HVRange find(std::u16string_view subject, HVRange range, bool reverse = false) const;

    const std::u16string& needle() const { return m_needle; }
    bool caseSensitive() const { return m_caseSensitive; }

private:
    HVRange findExact(std::u16string_view subject, std::size_t start, std::size_t end,
                      bool reverse) const;
    HVRange findFolded(std::u16string_view subject, std::size_t start, std::size_t end,
                       bool reverse) const;
    // The end of a folded match that begins at position, or HVNotFound.
    std::size_t foldedMatchEnd(std::u16string_view subject, std::size_t position,
                               std::size_t end) const;
    bool mayStartMatch(char16_t unit) const;
    // The first position from position on, below limit, whose unit may begin a match; limit
    // when there is none.
    std::size_t nextCandidate(std::u16string_view subject, std::size_t position,
                              std::size_t limit) const;

    std::u16string m_needle;
    bool m_caseSensitive = true;
    // The needle's folded code points.
    std::vector<char32_t> m_folded;
    // Every code unit that can begin a match (the first unit, or when ignoring case each case
    // variant of the first character); a count of 0 means any unit may, and each position is
    // tried. Slots past the count repeat the first unit.
    std::array<char16_t, 6> m_firstUnits{};
    std::size_t m_firstUnitCount = 0;
};
