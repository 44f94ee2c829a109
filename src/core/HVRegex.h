#pragma once

#include "HVRange.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The ranges of one successful search: capture 0 is the whole match, 1 to n the groups in the
// order of their opening parentheses.
class HVRegexMatch {
public:
    explicit HVRegexMatch(std::vector<HVRange> ranges) : m_ranges(std::move(ranges)) {}

    // A group that took no part, or that does not exist, has length 0 and location HVNotFound.
    HVRange rangeForCapture(std::size_t index) const {
        return index < m_ranges.size() ? m_ranges[index] : HVRange{HVNotFound, 0};
    }
    std::size_t captureCount() const { return m_ranges.size(); }

private:
    std::vector<HVRange> m_ranges;
};

// Option bits, numbered as in the PCRE library.
enum HVRegexOptions : std::uint32_t {
    HVRegexCaseless = 0x1,
    HVRegexMultiline = 0x2,
    HVRegexDotAll = 0x4,
    HVRegexExtended = 0x8,
    HVRegexAnchored = 0x10,
    HVRegexDollarEndOnly = 0x20,
    // Search-time bits.
    HVRegexNotBOL = 0x80,
    HVRegexNotEOL = 0x100,
    HVRegexUngreedy = 0x200,
    HVRegexNotEmpty = 0x400,
    // A search that reaches the end of the subject while a match is still possible stops there
    // and finds nothing, with lastSearchWasPartial() true (PCRE2's hard partial matching).
    HVRegexPartial = 0x1000,
    // Unicode semantics: \w, \d, \b and the POSIX classes follow Unicode properties.
    HVRegexUTF8 = 0x800,
};

// A compiled Perl-compatible regular expression over PCRE2. It searches UTF-16 text (positions
// in code units) and UTF-8 bytes (positions in bytes). Text with unpaired surrogates or bytes
// that are not UTF-8 are searched safely; such code units never match a character.
// A regex is used from one thread at a time.
class HVRegex {
public:
    ~HVRegex();
    HVRegex(const HVRegex&) = delete;
    HVRegex& operator=(const HVRegex&) = delete;

    static bool validPattern(std::u16string_view pattern);
    static bool validPattern(std::string_view utf8Pattern);
    // The reason a pattern does not compile, with its offset; empty when it compiles.
    static std::string errorForPattern(std::u16string_view pattern, std::uint32_t options = 0);

    // None when the pattern does not compile. The default options are 0: case-sensitive, `^`
    // and `$` only at the ends of the subject.
    static std::unique_ptr<HVRegex> initWithPattern(std::u16string_view pattern);
    static std::unique_ptr<HVRegex> initWithPattern(std::u16string_view pattern,
                                                    std::uint32_t options);
    static std::unique_ptr<HVRegex> initWithPattern(std::string_view utf8Pattern,
                                                    std::uint32_t options = 0);

    // The leftmost match in the whole subject.
    std::optional<HVRegexMatch> copyMatchForString(std::u16string_view subject);
    // The leftmost match that starts at or after range.location and lies within the range.
    std::optional<HVRegexMatch> copyMatchForString(std::u16string_view subject, HVRange range);
    std::optional<HVRegexMatch> copyMatchForString(std::u16string_view subject, HVRange range,
                                                   std::uint32_t options);
    std::optional<HVRegexMatch> copyMatchForUTF8Data(std::string_view data, HVRange range);

    // Bounds the work of each search (PCRE2's match limit), so that a pattern that backtracks
    // without end gives up instead of hanging; a search that reaches it finds nothing. 0 is
    // PCRE2's own default.
    void setMatchLimit(std::uint32_t limit);
    std::uint32_t matchLimit() const { return m_matchLimit; }
    // Whether the last search of UTF-16 text gave up at the match limit.
    bool lastSearchHitMatchLimit() const { return m_hitMatchLimit; }
    // How many searches of UTF-16 text gave up at the match limit, in the regex's life.
    std::size_t matchLimitHits() const { return m_matchLimitHits; }
    // Whether the last search of UTF-16 text, with HVRegexPartial, ended as a partial match.
    bool lastSearchWasPartial() const { return m_partial; }

    const std::u16string& pattern() const { return m_pattern; }
    std::uint32_t options() const { return m_options; }
    // The number of groups, not counting the whole match.
    std::size_t groupCount() const { return m_groupCount; }

private:
    struct Code16;
    struct Code8;
    // Each is complete only in its own translation unit.
    struct Code16Deleter {
        void operator()(Code16* code) const;
    };
    struct Code8Deleter {
        void operator()(Code8* code) const;
    };
    HVRegex(std::u16string pattern, std::uint32_t options,
            std::unique_ptr<Code16, Code16Deleter> code);

    std::u16string m_pattern;
    std::uint32_t m_options;
    std::size_t m_groupCount = 0;
    std::uint32_t m_matchLimit = 0;
    bool m_hitMatchLimit = false;
    std::size_t m_matchLimitHits = 0;
    bool m_partial = false;
    std::unique_ptr<Code16, Code16Deleter> m_code16;
    // Compiled on the first search of UTF-8 bytes.
    std::unique_ptr<Code8, Code8Deleter> m_code8;
    bool m_code8Failed = false;
};
