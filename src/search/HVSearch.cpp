#include "HVSearch.h"

#include "HVRegex.h"
#include "HVSearchEnumerator.h"
#include "HVUnicode.h"

#include <cstdint>
#include <limits>

namespace {

constexpr HVRange notFound{HVNotFound, 0};

// The options of an expression search made from a pattern and a case rule.
constexpr std::uint32_t expressionOptions(bool caseSensitive) {
    return caseSensitive ? HVRegexMultiline : HVRegexMultiline | HVRegexCaseless;
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The text of a capture, or nothing when it took no part or lies outside the matched text.
std::u16string_view captureText(std::u16string_view matched, const HVRegexMatch& match,
                                std::size_t index) {
    HVRange range = match.rangeForCapture(index);
    if (range.location > matched.size() || range.length > matched.size() - range.location)
        return {};
    return matched.substr(range.location, range.length);
}

// A decimal number as a text field reads it: leading white space, a sign, digits; anything
// else ends it, and no digits read as 0. Saturates instead of overflowing.
long long readNumber(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() &&
           (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    long long value = 0;
    constexpr long long limit = std::numeric_limits<int>::max();
    for (; i < text.size() && isDigit(text[i]); ++i)
        value = std::min(limit, value * 10 + (text[i] - u'0'));
    return negative ? -value : value;
}

std::u16string expandTemplate(std::u16string_view matched, const HVRegexMatch& match,
                              std::u16string_view pattern) {
    std::u16string result;
    result.reserve(pattern.size() + matched.size());
    auto insertCapture = [&](long long index) {
        if (index >= 0)
            result += captureText(matched, match, std::size_t(index));
    };
    for (std::size_t i = 0; i < pattern.size();) {
        char16_t c = pattern[i];
        if (c == u'$') {
            std::size_t digits = i + 1;
            while (digits < pattern.size() && isDigit(pattern[digits]))
                ++digits;
            insertCapture(readNumber(pattern.substr(i + 1, digits - i - 1)));
            i = digits;
        } else if (c == u'(') {
            std::size_t close = pattern.find(u')', i + 1);
            if (close == std::u16string_view::npos) {
                result += pattern.substr(i);
                break;
            }
            insertCapture(readNumber(pattern.substr(i + 1, close - i - 1)));
            i = close + 1;
        } else if (c == u'\\') {
            if (i + 1 < pattern.size())
                result += pattern[i + 1];
            i += 2;
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

// Replaces ranges of a text (UTF-16 or bytes) as replaceRanges() describes. Each range is
// shifted by how much earlier replacements changed the length.
template <class String, class Matches, class Replacement>
std::size_t replaceRangesIn(std::span<const HVRange> ranges, String& text, bool doubleCheck,
                            Matches matches, Replacement replacement) {
    using View = std::basic_string_view<typename String::value_type>;
    bool ascending = true;
    std::size_t previousEnd = 0;
    for (const HVRange& range : ranges) {
        if (range.location < previousEnd) {
            ascending = false;
            break;
        }
        previousEnd = range.length > SIZE_MAX - range.location ? SIZE_MAX : range.end();
    }
    std::size_t count = 0;
    if (ascending) {
        // Ranges that follow each other: the shifted location of each is its location in the
        // original text, so one pass builds the new text.
        String result;
        std::size_t copied = 0;
        const std::size_t size = text.size();
        for (const HVRange& range : ranges) {
            if (range.location > size || range.length > size - range.location)
                break;
            View piece = View(text).substr(range.location, range.length);
            if (doubleCheck && !matches(piece))
                continue;
            if (count == 0)
                result.reserve(size + size / 8);
            result.append(text, copied, range.location - copied);
            result += replacement(piece);
            copied = range.end();
            ++count;
        }
        if (count > 0) {
            result.append(text, copied);
            text = std::move(result);
        }
        return count;
    }
    // Ranges out of order or overlapping: replace one after the other in place.
    long long offset = 0;
    for (const HVRange& range : ranges) {
        if (range.location > HVNotFound)
            break;
        if ((long long)range.location + offset < 0)
            continue;
        std::size_t location = std::size_t((long long)range.location + offset);
        if (location > text.size() || range.length > text.size() - location)
            break;
        View piece = View(text).substr(location, range.length);
        if (doubleCheck && !matches(piece))
            continue;
        String inserted = replacement(piece);
        text.replace(location, range.length, inserted);
        offset += (long long)inserted.size() - (long long)range.length;
        ++count;
    }
    return count;
}

} // namespace

HVSearch::HVSearch() = default;
HVSearch::~HVSearch() = default;

std::unique_ptr<HVSearch> HVSearch::initWithSearchString(std::u16string_view string) {
    std::unique_ptr<HVSearch> search(new HVSearch);
    search->setSearchString(string);
    return search;
}

std::unique_ptr<HVSearch> HVSearch::initWithExpressionString(std::u16string_view pattern,
                                                             bool caseSensitive) {
    auto expression = HVRegex::initWithPattern(pattern, expressionOptions(caseSensitive));
    return initWithExpression(std::move(expression));
}

std::unique_ptr<HVSearch> HVSearch::initWithExpression(std::unique_ptr<HVRegex> expression) {
    if (!expression)
        return nullptr;
    std::unique_ptr<HVSearch> search(new HVSearch);
    search->m_isExpression = true;
    search->setExpression(std::move(expression));
    return search;
}

bool HVSearch::validRegexSearch(std::u16string_view pattern) {
    return HVRegex::validPattern(pattern);
}

std::unique_ptr<HVSearch> HVSearch::copy() const {
    std::unique_ptr<HVSearch> search(new HVSearch);
    search->m_isExpression = m_isExpression;
    search->m_searchString = m_searchString;
    search->m_caseSensitive = m_caseSensitive;
    if (m_expression)
        search->m_expression =
            HVRegex::initWithPattern(m_expression->pattern(), m_expression->options());
    search->m_literal = m_literal;
    search->m_replaceString = m_replaceString;
    search->m_options = m_options;
    return search;
}

void HVSearch::setExpression(std::unique_ptr<HVRegex> expression) {
    m_anchoredExpression.reset();
    m_expression = std::move(expression);
    if (m_expression) {
        m_searchString = m_expression->pattern();
        m_caseSensitive = !(m_expression->options() & HVRegexCaseless);
    }
}

void HVSearch::setSearchExpression(std::u16string_view pattern) {
    if (m_isExpression && m_searchString == pattern)
        return;
    m_isExpression = true;
    m_literal = HVLiteralMatcher();
    m_searchString = pattern;
    setExpression(HVRegex::initWithPattern(pattern));
}

void HVSearch::setSearchString(std::u16string_view string) {
    if (m_isExpression) {
        setSearchExpression(string);
        return;
    }
    m_searchString = string;
    m_literal = HVLiteralMatcher(string, m_caseSensitive);
}

void HVSearch::setCaseSensitive(bool caseSensitive) {
    if (caseSensitive == m_caseSensitive)
        return;
    m_caseSensitive = caseSensitive;
    if (!m_isExpression) {
        m_literal = HVLiteralMatcher(m_searchString, caseSensitive);
    } else if (m_expression) {
        std::uint32_t options = m_expression->options() & ~std::uint32_t(HVRegexCaseless);
        setExpression(HVRegex::initWithPattern(
            m_searchString, caseSensitive ? options : options | HVRegexCaseless));
    }
}

bool HVSearch::matchesString(std::u16string_view string) {
    return firstMatchInString(string).location != HVNotFound;
}

HVRange HVSearch::firstMatchInString(std::u16string_view string) {
    if (!m_isExpression)
        return m_literal.find(string, HVRange{0, string.size()});
    if (!m_expression)
        return notFound;
    auto match = m_expression->copyMatchForString(string);
    return match ? match->rangeForCapture(0) : notFound;
}

HVRange HVSearch::firstMatchInString(std::u16string_view string, HVRange range) {
    return firstMatchInString(string, range, false);
}

HVRange HVSearch::firstMatchInString(std::u16string_view string, HVRange range, bool reverse) {
    if (!m_isExpression)
        return m_literal.find(string, range, reverse);
    if (!m_expression)
        return notFound;
    auto match = m_expression->copyMatchForString(string, range, m_options);
    return match ? match->rangeForCapture(0) : notFound;
}

HVRange HVSearch::nonEmptyMatchAt(std::u16string_view string, std::size_t location) {
    if (!m_expression)
        return notFound;
    // Compiled anchored rather than anchored at search time, which would leave the JIT and
    // scan the rest of the subject for its validity on every empty match.
    if (!m_anchoredExpression)
        m_anchoredExpression = HVRegex::initWithPattern(m_expression->pattern(),
                                                        m_expression->options() | HVRegexAnchored);
    if (!m_anchoredExpression)
        return notFound;
    auto match = m_anchoredExpression->copyMatchForString(
        string, HVRange{location, string.size() - location}, m_options | HVRegexNotEmpty);
    return match ? match->rangeForCapture(0) : notFound;
}

HVRange HVSearch::firstMatchInUTF8Data(std::string_view data, HVRange range) {
    if (!m_expression)
        return notFound;
    auto match = m_expression->copyMatchForUTF8Data(data, range);
    return match ? match->rangeForCapture(0) : notFound;
}

bool HVSearch::matchesUTF8Data(std::string_view data) {
    return firstMatchInUTF8Data(data, HVRange{0, data.size()}).location != HVNotFound;
}

std::vector<HVRange> HVSearch::findAllForString(std::u16string_view string) {
    std::vector<HVRange> ranges;
    HVSearchEnumerator enumerator(*this, string);
    while (auto range = enumerator.nextRange())
        ranges.push_back(*range);
    return ranges;
}

std::vector<HVSearchResult> HVSearch::findAllForStringAsResults(std::u16string_view string) {
    std::vector<HVSearchResult> results;
    HVSearchEnumerator enumerator(*this, string);
    while (auto result = enumerator.nextResult())
        results.push_back(std::move(*result));
    return results;
}

std::vector<HVRange> HVSearch::findAllForUTF8Data(std::string_view data) {
    std::vector<HVRange> ranges;
    HVSearchEnumerator enumerator(*this, data);
    while (auto range = enumerator.nextRange())
        ranges.push_back(*range);
    return ranges;
}

std::vector<HVSearchResult> HVSearch::findAllForUTF8DataAsResults(std::string_view data) {
    std::vector<HVSearchResult> results;
    HVSearchEnumerator enumerator(*this, data);
    while (auto result = enumerator.nextResult())
        results.push_back(std::move(*result));
    return results;
}

std::u16string HVSearch::replacementForString(std::u16string_view matched) {
    return replacementForString(matched, m_replaceString ? std::u16string_view(*m_replaceString)
                                                         : std::u16string_view());
}

std::u16string HVSearch::replacementForString(std::u16string_view matched,
                                              std::u16string_view replaceString) {
    if (!m_expression)
        return std::u16string(replaceString);
    auto match = m_expression->copyMatchForString(matched);
    if (!match)
        return std::u16string(replaceString);
    return expandTemplate(matched, *match, replaceString);
}

std::string HVSearch::replacementForUTF8Bytes(const char* bytes, std::size_t length) {
    return HVUnicode::utf8(replacementForString(HVUnicode::utf16(std::string_view(bytes, length))));
}

std::size_t HVSearch::replaceAllInString(std::u16string& string) {
    return replaceRanges(findAllForString(string), string);
}

std::size_t HVSearch::replaceAllInUTF8Data(std::string& data) {
    return replaceRanges(findAllForUTF8Data(data), data);
}

std::size_t HVSearch::replaceRanges(std::span<const HVRange> ranges, std::u16string& string,
                                    bool doubleCheck) {
    return replaceRangesIn(
        ranges, string, doubleCheck,
        [this](std::u16string_view piece) { return matchesString(piece); },
        [this](std::u16string_view piece) { return replacementForString(piece); });
}

std::size_t HVSearch::replaceRanges(std::span<const HVRange> ranges, std::string& data,
                                    bool doubleCheck) {
    return replaceRangesIn(
        ranges, data, doubleCheck,
        [this](std::string_view piece) { return matchesUTF8Data(piece); },
        [this](std::string_view piece) {
            return replacementForUTF8Bytes(piece.data(), piece.size());
        });
}
