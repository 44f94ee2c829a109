#pragma once

#include "HVAttributes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

class HVError;
class HVRegex;
class HVRegexMatch;

// One kind of region of a keyword-based language (a heredoc, a regex literal): from a match of
// its begin pattern through a match of its end pattern, in which \1, \2… stand for the text of
// the begin's groups, so that a heredoc ends at its own label. `^` and `$` match at line
// breaks of any kind.
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
    std::unique_ptr<HVRegex> m_begin;
    // The end when it refers to no group; otherwise the ends met so far, by their pattern.
    std::unique_ptr<HVRegex> m_fixedEnd;
    std::unordered_map<std::u16string, std::unique_ptr<HVRegex>> m_ends;
    // The match-limit hits of ends no longer cached.
    std::size_t m_forgottenEndHits = 0;
    HVAttributesRef m_attributes;
};
