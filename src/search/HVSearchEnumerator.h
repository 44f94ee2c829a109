#pragma once

#include "HVRange.h"
#include "HVSearchResult.h"

#include <optional>
#include <string_view>

class HVSearch;

// Walks the matches of a search in a text or in UTF-8 bytes, in order. Each search starts where
// the last match ended. After an empty match it moves one character on (in text it first asks
// for a non-empty match at the same place, so "x*|ab" finds "ab"), so every pattern comes to an
// end and no match starts inside a character. The search and the subject are not owned and
// must outlive the enumerator.
class HVSearchEnumerator {
public:
    HVSearchEnumerator(HVSearch& search, std::u16string_view string);
    HVSearchEnumerator(HVSearch& search, std::string_view utf8Data);

    // The next match as a bare range, or none when the matches are used up.
    std::optional<HVRange> nextRange();
    // The next match as a result with its context line.
    std::optional<HVSearchResult> nextResult();

    // The range of the last match returned ({0, 0} before the first).
    HVRange lastRange() const { return m_last; }

private:
    HVRange nextInString();
    HVRange nextInData();

    HVSearch& m_search;
    std::u16string_view m_string;
    std::string_view m_data;
    bool m_isData = false;
    bool m_started = false;
    bool m_ended = false;
    HVRange m_last{0, 0};
};
