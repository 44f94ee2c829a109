#include "HVLiteralMatcher.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <unicode/uchar.h>
#include <unicode/uset.h>
#include <unicode/utf16.h>

namespace {

constexpr HVRange notFound{HVNotFound, 0};

inline char32_t foldCodePoint(char32_t c) {
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? c + 0x20 : c;
    return char32_t(u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT));
}

// Whether position lies between the two halves of a surrogate pair.
inline bool splitsPair(std::u16string_view text, std::size_t position) {
    return position > 0 && position < text.size() && U16_IS_LEAD(text[position - 1]) &&
           U16_IS_TRAIL(text[position]);
}

} // namespace

HVLiteralMatcher::HVLiteralMatcher(std::u16string_view needle, bool caseSensitive)
    : m_needle(needle), m_caseSensitive(caseSensitive) {
    if (needle.empty())
        return;
    if (caseSensitive) {
        m_firstUnits.fill(needle.front());
        m_firstUnitCount = 1;
        return;
    }
    for (std::size_t i = 0; i < needle.size();) {
        char32_t c = needle[i++];
        if (U16_IS_LEAD(c) && i < needle.size() && U16_IS_TRAIL(needle[i]))
            c = U16_GET_SUPPLEMENTARY(c, needle[i++]);
        m_folded.push_back(foldCodePoint(c));
    }
    // Every character whose simple folding is the needle's first folded character: the case
    // closure holds them all (and more, which the folding test drops).
    USet* closure = uset_openEmpty();
    uset_add(closure, UChar32(m_folded.front()));
    uset_closeOver(closure, USET_CASE_INSENSITIVE);
    bool complete = true;
    std::int32_t items = uset_getItemCount(closure);
    for (std::int32_t item = 0; item < items && complete; ++item) {
        UChar32 from = 0, to = 0;
        // Strings in the closure (full case mappings such as "ss") have a length above 0 and
        // report that the empty buffer is too small; they are skipped.
        UErrorCode status = U_ZERO_ERROR;
        if (uset_getItem(closure, item, &from, &to, nullptr, 0, &status) != 0 || U_FAILURE(status))
            continue;
        for (UChar32 c = from; c <= to; ++c) {
            if (foldCodePoint(char32_t(c)) != m_folded.front())
                continue;
            char16_t unit = c > 0xFFFF ? U16_LEAD(c) : char16_t(c);
            auto units = m_firstUnits.begin();
            auto last = units + m_firstUnitCount;
            if (std::find(units, last, unit) != last)
                continue;
            if (m_firstUnitCount == m_firstUnits.size()) {
                complete = false;
                break;
            }
            m_firstUnits[m_firstUnitCount++] = unit;
        }
    }
    uset_close(closure);
    if (!complete || m_firstUnitCount == 0)
        m_firstUnitCount = 0;
    for (std::size_t i = m_firstUnitCount; i < m_firstUnits.size(); ++i)
        m_firstUnits[i] = m_firstUnits[0];
}

HVRange HVLiteralMatcher::find(std::u16string_view subject, HVRange range, bool reverse) const {
    if (m_needle.empty() || range.location >= subject.size())
        return notFound;
    std::size_t start = range.location;
    std::size_t end = range.length > subject.size() - start ? subject.size() : range.end();
    return m_caseSensitive ? findExact(subject, start, end, reverse)
                           : findFolded(subject, start, end, reverse);
}

HVRange HVLiteralMatcher::findExact(std::u16string_view subject, std::size_t start, std::size_t end,
                                    bool reverse) const {
    std::size_t length = m_needle.size();
    if (end - start < length)
        return notFound;
    std::u16string_view window = subject.substr(0, end);
    if (!reverse) {
        std::size_t last = end - length;
        for (std::size_t at = start; at <= last; ++at) {
            at = nextCandidate(subject, at, last + 1);
            if (at > last)
                break;
            if (subject.compare(at, length, m_needle) == 0 && !splitsPair(subject, at) &&
                !splitsPair(subject, at + length))
                return HVRange{at, length};
        }
        return notFound;
    }
    for (std::size_t from = end - length;;) {
        std::size_t at = window.rfind(m_needle, from);
        if (at == std::u16string_view::npos || at < start)
            return notFound;
        if (!splitsPair(subject, at) && !splitsPair(subject, at + length))
            return HVRange{at, length};
        if (at == start)
            return notFound;
        from = at - 1;
    }
}

std::size_t HVLiteralMatcher::nextCandidate(std::u16string_view subject, std::size_t position,
                                            std::size_t limit) const {
    if (m_firstUnitCount == 0)
        return position;
    const char16_t* units = subject.data();
#if defined(__SSE2__)
    // Eight units at a time against every candidate, as memchr does for bytes; unused slots
    // repeat the first unit.
    if (m_firstUnitCount <= 4) {
        const __m128i a = _mm_set1_epi16(short(m_firstUnits[0]));
        const __m128i b = _mm_set1_epi16(short(m_firstUnits[1]));
        const __m128i c = _mm_set1_epi16(short(m_firstUnits[2]));
        const __m128i d = _mm_set1_epi16(short(m_firstUnits[3]));
        for (; position + 8 <= limit; position += 8) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + position));
            __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, a), _mm_cmpeq_epi16(v, b)),
                                        _mm_or_si128(_mm_cmpeq_epi16(v, c), _mm_cmpeq_epi16(v, d)));
            if (int mask = _mm_movemask_epi8(hits))
                return position + std::size_t(__builtin_ctz(unsigned(mask))) / 2;
        }
    }
#endif
    while (position < limit && !mayStartMatch(units[position]))
        ++position;
    return position;
}

bool HVLiteralMatcher::mayStartMatch(char16_t unit) const {
    for (std::size_t i = 0; i < m_firstUnitCount; ++i)
        if (m_firstUnits[i] == unit)
            return true;
    return m_firstUnitCount == 0;
}

HVRange HVLiteralMatcher::findFolded(std::u16string_view subject, std::size_t start,
                                     std::size_t end, bool reverse) const {
    // Every folded character takes at least one code unit.
    std::size_t shortest = m_folded.size();
    if (end - start < shortest)
        return notFound;
    std::size_t last = end - shortest;
    auto tryAt = [&](std::size_t i) -> HVRange {
        if (!mayStartMatch(subject[i]) || splitsPair(subject, i))
            return notFound;
        std::size_t matchEnd = foldedMatchEnd(subject, i, end);
        return matchEnd == HVNotFound ? notFound : HVRange{i, matchEnd - i};
    };
    if (!reverse) {
        for (std::size_t i = start; i <= last; ++i) {
            i = nextCandidate(subject, i, last + 1);
            if (i > last)
                break;
            HVRange found = tryAt(i);
            if (found.location != HVNotFound)
                return found;
        }
        return notFound;
    }
    for (std::size_t i = last + 1; i-- > start;) {
        HVRange found = tryAt(i);
        if (found.location != HVNotFound)
            return found;
    }
    return notFound;
}

std::size_t HVLiteralMatcher::foldedMatchEnd(std::u16string_view subject, std::size_t position,
                                             std::size_t end) const {
    for (char32_t wanted : m_folded) {
        if (position >= end)
            return HVNotFound;
        char32_t c = subject[position++];
        if (U16_IS_LEAD(c) && position < end && U16_IS_TRAIL(subject[position]))
            c = U16_GET_SUPPLEMENTARY(c, subject[position++]);
        if (foldCodePoint(c) != wanted)
            return HVNotFound;
    }
    // A needle ending in a lone lead surrogate must not take half of a pair.
    return splitsPair(subject, position) ? HVNotFound : position;
}
