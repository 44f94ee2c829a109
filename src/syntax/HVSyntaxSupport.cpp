#include "HVSyntaxSupport.h"

#include "HVUnicode.h"

#include <cstdio>
#include <random>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace hvsyntax {

std::string makeUniqueIdentifier() {
    static std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    std::uint64_t high = generator();
    std::uint64_t low = generator();
    // Version 4, variant 1.
    high = (high & 0xffffffffffff0fffULL) | 0x0000000000004000ULL;
    low = (low & 0x3fffffffffffffffULL) | 0x8000000000000000ULL;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08x-%04x-%04x-%04x-%012llx", unsigned(high >> 32),
                  unsigned((high >> 16) & 0xffff), unsigned(high & 0xffff), unsigned(low >> 48),
                  static_cast<unsigned long long>(low & 0xffffffffffffULL));
    return buffer;
}

void appendLowercase(std::u16string& out, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c < 0x80) {
            out.push_back(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
            continue;
        }
        UChar32 code = c;
        if (U16_IS_LEAD(c) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) {
            code = U16_GET_SUPPLEMENTARY(c, text[i + 1]);
            ++i;
        }
        UChar32 lower = u_tolower(code);
        if (lower <= 0xffff) {
            out.push_back(char16_t(lower));
        } else {
            out.push_back(char16_t(U16_LEAD(lower)));
            out.push_back(char16_t(U16_TRAIL(lower)));
        }
    }
}

int compareIgnoringCase(std::string_view a, std::string_view b) {
    std::u16string wideA = HVUnicode::utf16(a);
    std::u16string wideB = HVUnicode::utf16(b);
    UErrorCode status = U_ZERO_ERROR;
    int result =
        u_strCaseCompare(reinterpret_cast<const UChar*>(wideA.data()), int32_t(wideA.size()),
                         reinterpret_cast<const UChar*>(wideB.data()), int32_t(wideB.size()),
                         U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status))
        return a.compare(b);
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

std::size_t lineEnd(std::u16string_view text, std::size_t position, std::size_t end) {
    for (std::size_t i = position; i < end; ++i) {
        if (text[i] == u'\n' || text[i] == u'\r')
            return i;
    }
    return end;
}

} // namespace hvsyntax
