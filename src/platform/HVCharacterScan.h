#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Calls f(i) for every i < n where data[i] is one of the characters Cs. Text is mostly free
// of the control characters this looks for, so the scan tests eight code units at a time.
template <char16_t... Cs, typename F>
void HVForEachCharacterOf(const char16_t* data, std::size_t n, F&& f) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= n; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i hits = _mm_setzero_si128();
        ((hits = _mm_or_si128(hits, _mm_cmpeq_epi16(v, _mm_set1_epi16(short(Cs))))), ...);
        unsigned mask = unsigned(_mm_movemask_epi8(hits));
        while (mask) {
            unsigned bit = unsigned(__builtin_ctz(mask));
            f(i + bit / 2);
            mask &= ~(3u << bit);
        }
    }
#endif
    for (; i < n; ++i) {
        if (((data[i] == Cs) || ...))
            f(i);
    }
}
