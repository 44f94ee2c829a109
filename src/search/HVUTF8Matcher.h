#pragma once

#include "HVRange.h"

#include <memory>
#include <string_view>
#include <vector>

class HVSearch;

// Finds a search's matches in well-formed UTF-8 bytes, exactly where the search would find them
// in the same text decoded to UTF-16: a literal is matched as an escaped expression (ignoring
// case by Unicode simple case folding, as the literal matcher does), an expression with the
// search's own options, and an empty match is followed as the search's enumerator follows it.
// Saves decoding the many files that hold no match. One thread at a time.
class HVUTF8Matcher {
public:
    // None when the search cannot be matched on bytes (a needle with unpaired surrogates, an
    // expression that does not compile in 8 bits); the caller then searches the text.
    static std::unique_ptr<HVUTF8Matcher> create(const HVSearch& search);
    ~HVUTF8Matcher();
    HVUTF8Matcher(const HVUTF8Matcher&) = delete;
    HVUTF8Matcher& operator=(const HVUTF8Matcher&) = delete;

    // Every match's byte range, ascending, appended to ranges (which is cleared first). The data
    // must be well-formed UTF-8.
    void findAll(std::string_view data, std::vector<HVRange>& ranges);
    // Whether a file without a match in its bytes has none in its text either, well-formed or
    // not: true for a literal of ASCII characters, which no byte outside ASCII can help make
    // (ill-formed UTF-8 is read as Latin-1, whose letters beyond ASCII fold to none in ASCII).
    // Then the bytes need checking only when they match.
    bool needsNoWellFormedText() const { return m_asciiLiteral; }
    // Whether the search can find nothing at all (an empty literal).
    bool findsNothing() const { return m_findsNothing; }

private:
    struct Code;
    HVUTF8Matcher();
    std::unique_ptr<Code> m_code;
    bool m_findsNothing = false;
    bool m_asciiLiteral = false;
};
