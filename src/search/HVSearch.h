#pragma once

#include "HVLiteralMatcher.h"
#include "HVRange.h"
#include "HVSearchResult.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class HVRegex;

// The program-wide search: a literal string or a regular expression, a case rule and a replace
// template. It finds matches in text (positions in UTF-16 code units) and in UTF-8 bytes
// (positions in bytes), builds replacement text and replaces ranges.
//
// A search is used by one thread at a time; a thread that needs one of its own takes a copy().
class HVSearch {
public:
    // The option word passed with every ranged regular-expression search unless a caller sets
    // another: the start of the subject is not taken as the start of a line.
    static constexpr std::uint32_t defaultOptions = 0x80;

    ~HVSearch();
    HVSearch(const HVSearch&) = delete;
    HVSearch& operator=(const HVSearch&) = delete;

    // A literal search of a copy of the string, ignoring case.
    static std::unique_ptr<HVSearch> initWithSearchString(std::u16string_view string);
    // A regular-expression search compiled multi-line, and ignoring case unless caseSensitive;
    // none when the pattern does not compile.
    static std::unique_ptr<HVSearch> initWithExpressionString(std::u16string_view pattern,
                                                              bool caseSensitive);
    // A search with an already compiled expression; its case rule is that of the expression.
    static std::unique_ptr<HVSearch> initWithExpression(std::unique_ptr<HVRegex> expression);
    static bool validRegexSearch(std::u16string_view pattern);

    // An independent search with the same expression (compiled anew), string, template, case
    // rule and options.
    std::unique_ptr<HVSearch> copy() const;

    // Replaces the expression by one compiled from the pattern with the regular-expression
    // component's default options (case-sensitive, not multi-line); nothing when the pattern is
    // unchanged. A pattern that does not compile leaves an expression search that finds nothing.
    void setSearchExpression(std::u16string_view pattern);
    // The pattern of an expression search (as setSearchExpression), else the literal.
    void setSearchString(std::u16string_view string);
    const std::u16string& searchString() const { return m_searchString; }
    void setReplaceString(std::optional<std::u16string> replaceString) {
        m_replaceString = std::move(replaceString);
    }
    const std::optional<std::u16string>& replaceString() const { return m_replaceString; }
    bool caseSensitive() const { return m_caseSensitive; }
    // For an expression search, recompiles it with the case bit changed.
    void setCaseSensitive(bool caseSensitive);
    // The per-search option word (defaultOptions, or 0 so that the subject's start is a line
    // start).
    void setOptions(std::uint32_t options) { m_options = options; }
    std::uint32_t options() const { return m_options; }
    bool isRegularExpression() const { return m_isExpression; }
    // The expression of an expression search; none for a literal search, or after a pattern
    // that did not compile.
    HVRegex* expression() const { return m_expression.get(); }

    // Whether firstMatchInString() finds anything.
    bool matchesString(std::u16string_view string);
    // The first match in the whole string, with the expression's own options; not found is
    // {HVNotFound, 0}.
    HVRange firstMatchInString(std::u16string_view string);
    // The first match lying within the range; an expression search passes the per-search
    // options.
    HVRange firstMatchInString(std::u16string_view string, HVRange range);
    // As above; a literal search finds the last occurrence in the range when reverse. An
    // expression search always finds the leftmost match.
    HVRange firstMatchInString(std::u16string_view string, HVRange range, bool reverse);
    // Expression searches only: the leftmost match in a byte range.
    HVRange firstMatchInUTF8Data(std::string_view data, HVRange range);

    // Every match in order, as bare ranges or as results with context lines. A match that is
    // empty is followed by the next match after it, so every pattern ends.
    std::vector<HVRange> findAllForString(std::u16string_view string);
    std::vector<HVSearchResult> findAllForStringAsResults(std::u16string_view string);
    // Expression searches only (a literal search finds nothing in bytes): ranges in bytes.
    std::vector<HVRange> findAllForUTF8Data(std::string_view data);
    std::vector<HVSearchResult> findAllForUTF8DataAsResults(std::string_view data);

    // The replacement for one matched text from the replace template. The expression is
    // matched again against the text alone; without a match (and always for a literal search)
    // the answer is the template itself. Otherwise, in the template: "$" and decimal digits
    // insert that capture, "$" without digits the whole match; "(" number ")" inserts that
    // capture (no number reads as 0), and a "(" with no ")" after it ends the rewriting, the
    // rest staying as it is; a backslash is dropped and the character after it kept. A capture
    // that took no part inserts nothing; inserted text is not rewritten again.
    std::u16string replacementForString(std::u16string_view matched);
    std::u16string replacementForString(std::u16string_view matched,
                                        std::u16string_view replaceString);
    // The text replacement of the bytes (read as UTF-8), as UTF-8.
    std::string replacementForUTF8Bytes(const char* bytes, std::size_t length);

    // Replaces every match; answers the number replaced.
    std::size_t replaceAllInString(std::u16string& string);
    std::size_t replaceAllInUTF8Data(std::string& data);
    // Replaces the ranges (ascending, as found) by the replacement of their text, each shifted
    // by how much the replacements before it changed the length. A range that reaches past the
    // end of the text ends the work; with doubleCheck, a range whose text no longer matches is
    // skipped. Answers the number replaced.
    std::size_t replaceRanges(std::span<const HVRange> ranges, std::u16string& string,
                              bool doubleCheck = false);
    // The same over bytes: ranges in bytes.
    std::size_t replaceRanges(std::span<const HVRange> ranges, std::string& data,
                              bool doubleCheck = false);

private:
    friend class HVSearchEnumerator;

    HVSearch();
    void setExpression(std::unique_ptr<HVRegex> expression);
    // After an empty match at location: a match that starts there and is not empty, or not
    // found. Expression searches of text only.
    HVRange nonEmptyMatchAt(std::u16string_view string, std::size_t location);
    bool matchesUTF8Data(std::string_view data);

    std::unique_ptr<HVRegex> m_expression;
    // The expression compiled anchored, made on the first empty match.
    std::unique_ptr<HVRegex> m_anchoredExpression;
    bool m_isExpression = false;
    HVLiteralMatcher m_literal;
    std::u16string m_searchString;
    std::optional<std::u16string> m_replaceString;
    bool m_caseSensitive = false;
    std::uint32_t m_options = defaultOptions;
};
