#include "HVCaseInsensitive.h"

#include "HVUnicode.h"

#include <algorithm>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace {

bool isASCII(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

char foldASCII(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

int HVCaseInsensitive::compare(std::string_view a, std::string_view b) {
    // Extensions and most titles are ASCII: fold them without converting.
    if (isASCII(a) && isASCII(b)) {
        std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            char x = foldASCII(a[i]), y = foldASCII(b[i]);
            if (x != y)
                return (unsigned char)x < (unsigned char)y ? -1 : 1;
        }
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
    std::u16string x = HVUnicode::utf16(a), y = HVUnicode::utf16(b);
    UErrorCode status = U_ZERO_ERROR;
    int result = u_strCaseCompare(x.data(), int32_t(x.size()), y.data(), int32_t(y.size()),
                                  U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &status);
    if (U_FAILURE(status))
        return x < y ? -1 : (x == y ? 0 : 1);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}
