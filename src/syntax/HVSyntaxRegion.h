#pragma once

#include "HVAttributes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class HVError;
class HVRegex;
class HVRegexMatch;

// One kind of region of a keyword-based language (a heredoc, a regex literal): from a match of
// its begin pattern through a match of its end pattern, in which \1, \2… stand for the text of
// the begin's groups, so that a heredoc ends at its own label. `^` and `$` match at line
// breaks of any kind.
//
// Three additions serve constructs that are not one colour, such as a JSX element inside script
// code; a region without them behaves as before:
// - inside regions are painted over the region's stretch, begin included, after its own id, in
//   the same way as the regions of the text (the earliest wins, nothing overlaps), never beyond
//   it. A region without an id then paints only what its inside regions find; its whole
//   stretch still carries the multi-line mark.
// - a region that needs its end is no region when its end does not match: painting goes on as
//   if its begin had not matched there, so a false begin costs nothing. Only an end that might
//   still match on text beyond the painted range (a partial match) runs to the range's end, as
//   an unfinished region does, so that painting a text in pieces gives what painting it whole
//   gives; at the end of the text it too is no region.
// - a code region's body, from its begin to where its end match starts (`\K` moves that), is
//   painted as the text around it is: words, strings, comments and the text's regions. Code
//   inside markup inside code (JSX's braces) is painted so.
class HVSyntaxRegion {
public:
    // Every search gives up after this much backtracking and counts as finding nothing.
    static constexpr std::uint32_t matchLimit = 1000000;

    // None, with the reason, when a pattern does not compile, or the end refers to a group that
    // the begin lacks.
    static std::optional<HVSyntaxRegion> make(std::u16string begin, std::u16string end,
                                              std::optional<char16_t> escape, std::string themeID,
                                              bool multiLine, HVError* error = nullptr);
    HVSyntaxRegion(HVSyntaxRegion&&) noexcept;
    HVSyntaxRegion& operator=(HVSyntaxRegion&&) noexcept;
    ~HVSyntaxRegion();

    const std::u16string& beginPattern() const { return m_beginPattern; }
    const std::u16string& endPattern() const { return m_endPattern; }
    // The character that makes the next one literal inside the region.
    const std::optional<char16_t>& escape() const { return m_escape; }
    // The style id.
    const std::string& themeID() const { return m_themeID; }
    // Whether the region may go on past the end of its line.
    bool multiLine() const { return m_multiLine; }
    // The regions painted over this one's stretch.
    const std::vector<HVSyntaxRegion>& inside() const { return m_inside; }
    std::vector<HVSyntaxRegion>& inside() { return m_inside; }
    void setInside(std::vector<HVSyntaxRegion> inside) { m_inside = std::move(inside); }
    // Whether a begin without a matching end is passed over.
    bool needsEnd() const { return m_needsEnd; }
    void setNeedsEnd(bool needsEnd) { m_needsEnd = needsEnd; }
    // Whether the body is painted as code.
    bool code() const { return m_code; }
    // Whether the end is "\G": the region is its begin's match, found without a search.
    bool endsWithItsBegin() const { return m_endPattern == u"\\G"; }
    void setCode(bool code) { m_code = code; }

    HVRegex& beginRegex() const { return *m_begin; }
    // The end pattern of the region that begin opened in text, with the begin's groups put in
    // as literal text; compiled once per resulting pattern. None when it does not compile.
    HVRegex* endRegex(std::u16string_view text, const HVRegexMatch& begin);
    // The end pattern with each \n replaced by the text of group n (escaped), empty when the
    // group took no part.
    // How many searches of the begin and end patterns gave up at the match limit.
    std::size_t matchLimitHits() const;
    static std::u16string resolvedEnd(std::u16string_view endPattern, std::u16string_view text,
                                      const HVRegexMatch& begin);

    // The theme's attributes for the style id, plus HVMultiLineAttribute for a multi-line
    // region.
    const HVAttributesRef& attributesRef() const { return m_attributes; }
    void setAttributes(HVAttributesRef attributes) { m_attributes = std::move(attributes); }

private:
    HVSyntaxRegion() = default;

    std::u16string m_beginPattern;
    std::u16string m_endPattern;
    std::optional<char16_t> m_escape;
    std::string m_themeID;
    bool m_multiLine = false;
    bool m_needsEnd = false;
    bool m_code = false;
    std::vector<HVSyntaxRegion> m_inside;
    std::unique_ptr<HVRegex> m_begin;
    // The end when it refers to no group; otherwise the ends met so far, by their pattern.
    std::unique_ptr<HVRegex> m_fixedEnd;
    std::unordered_map<std::u16string, std::unique_ptr<HVRegex>> m_ends;
    // The match-limit hits of ends no longer cached.
    std::size_t m_forgottenEndHits = 0;
    HVAttributesRef m_attributes;
};
