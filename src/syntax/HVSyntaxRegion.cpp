#include "HVSyntaxRegion.h"

#include "HVError.h"
#include "HVParser.h"
#include "HVRegex.h"
#include "HVUnicode.h"

namespace {

// `^` and `$` at line breaks; CR LF and CR count as line breaks as LF does, so that a heredoc
// ends in a file of any line-break type. Kept out of the pattern's stored text.
constexpr std::u16string_view kLineBreaks = u"(*ANYCRLF)";
// A resolved end is compiled once and kept; a text with ever new labels empties the cache now
// and then rather than letting it grow.
constexpr std::size_t kMaximumCachedEnds = 64;

std::unique_ptr<HVRegex> compileRegionPattern(std::u16string_view pattern) {
    std::u16string full(kLineBreaks);
    full += pattern;
    auto regex = HVRegex::initWithPattern(full, HVRegexMultiline);
    if (regex)
        regex->setMatchLimit(HVSyntaxRegion::matchLimit);
    return regex;
}

// The highest group that \n refers to in an end pattern, or 0.
std::size_t highestReference(std::u16string_view pattern) {
    std::size_t highest = 0;
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] != u'\\')
            continue;
        char16_t next = pattern[++i];
        if (next >= u'1' && next <= u'9')
            highest = std::max(highest, std::size_t(next - u'0'));
    }
    return highest;
}

// Replaces each \n by what group(n) gives.
template <typename Group>
std::u16string substituteReferences(std::u16string_view pattern, Group group) {
    std::u16string result;
    result.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char16_t c = pattern[i];
        if (c != u'\\' || i + 1 == pattern.size()) {
            result += c;
            continue;
        }
        char16_t next = pattern[++i];
        if (next >= u'1' && next <= u'9') {
            result += group(std::size_t(next - u'0'));
        } else {
            result += c;
            result += next;
        }
    }
    return result;
}

HVError regionError(const std::string& description) {
    return HVError(HVSyntaxErrorDomain, HVSyntaxDefinitionError, description);
}

} // namespace

HVSyntaxRegion::HVSyntaxRegion(HVSyntaxRegion&&) noexcept = default;
HVSyntaxRegion& HVSyntaxRegion::operator=(HVSyntaxRegion&&) noexcept = default;
HVSyntaxRegion::~HVSyntaxRegion() = default;

std::optional<HVSyntaxRegion> HVSyntaxRegion::make(std::u16string begin, std::u16string end,
                                                   std::optional<char16_t> escape,
                                                   std::string themeID, bool multiLine,
                                                   HVError* error) {
    HVSyntaxRegion region;
    region.m_begin = compileRegionPattern(begin);
    if (!region.m_begin || begin.empty()) {
        HVSetError(error, regionError("The region begin \"" + HVUnicode::utf8(begin) +
                                      "\" is not a valid regular expression: " +
                                      (begin.empty() ? std::string("it is empty")
                                                     : HVRegex::errorForPattern(begin))));
        return std::nullopt;
    }
    std::size_t references = highestReference(end);
    if (references > region.m_begin->groupCount()) {
        HVSetError(error,
                   regionError("The region end \"" + HVUnicode::utf8(end) + "\" refers to group " +
                               std::to_string(references) + ", which its begin does not have."));
        return std::nullopt;
    }
    // An end with references is checked with a plain letter for each group's text.
    std::u16string sample = substituteReferences(end, [](std::size_t) { return u"x"; });
    auto compiled = compileRegionPattern(sample);
    if (!compiled) {
        HVSetError(error, regionError("The region end \"" + HVUnicode::utf8(end) +
                                      "\" is not a valid regular expression: " +
                                      HVRegex::errorForPattern(sample, HVRegexMultiline)));
        return std::nullopt;
    }
    if (references == 0)
        region.m_fixedEnd = std::move(compiled);
    region.m_beginPattern = std::move(begin);
    region.m_endPattern = std::move(end);
    region.m_escape = escape;
    region.m_themeID = std::move(themeID);
    region.m_multiLine = multiLine;
    return region;
}

std::u16string HVSyntaxRegion::resolvedEnd(std::u16string_view endPattern, std::u16string_view text,
                                           const HVRegexMatch& begin) {
    return substituteReferences(endPattern, [&](std::size_t group) {
        std::u16string escaped;
        HVRange range = begin.rangeForCapture(group);
        if (range.location == HVNotFound || range.end() > text.size())
            return escaped;
        // Every ASCII character that is not a letter, digit or underscore is escaped, which in
        // PCRE2 always means itself.
        for (char16_t c : text.substr(range.location, range.length)) {
            bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                         (c >= u'0' && c <= u'9') || c == u'_' || c >= 0x80;
            if (!plain)
                escaped += u'\\';
            escaped += c;
        }
        return escaped;
    });
}

HVRegex* HVSyntaxRegion::endRegex(std::u16string_view text, const HVRegexMatch& begin) {
    if (m_fixedEnd)
        return m_fixedEnd.get();
    std::u16string pattern = resolvedEnd(m_endPattern, text, begin);
    auto found = m_ends.find(pattern);
    if (found != m_ends.end())
        return found->second.get();
    if (m_ends.size() >= kMaximumCachedEnds) {
        for (const auto& [text, end] : m_ends)
            m_forgottenEndHits += end ? end->matchLimitHits() : 0;
        m_ends.clear();
    }
    auto compiled = compileRegionPattern(pattern);
    HVRegex* result = compiled.get();
    m_ends.emplace(std::move(pattern), std::move(compiled));
    return result;
}

std::size_t HVSyntaxRegion::matchLimitHits() const {
    std::size_t hits = m_forgottenEndHits + (m_begin ? m_begin->matchLimitHits() : 0) +
                       (m_fixedEnd ? m_fixedEnd->matchLimitHits() : 0);
    for (const auto& [text, end] : m_ends)
        hits += end ? end->matchLimitHits() : 0;
    return hits;
}
