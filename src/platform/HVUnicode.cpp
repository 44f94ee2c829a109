#include "HVUnicode.h"

#include <unicode/ustring.h>

std::u16string HVUnicode::utf16(std::string_view utf8) {
    std::u16string result;
    if (utf8.empty())
        return result;
    // UTF-16 never needs more code units than UTF-8 has bytes.
    result.resize(utf8.size());
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(result.data(), int32_t(result.size()), &length, utf8.data(),
                         int32_t(utf8.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    result.resize(std::size_t(length));
    return result;
}

std::string HVUnicode::utf8(std::u16string_view utf16) {
    std::string result;
    if (utf16.empty())
        return result;
    result.resize(utf16.size() * 3);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(result.data(), int32_t(result.size()), &length, utf16.data(),
                       int32_t(utf16.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    result.resize(std::size_t(length));
    return result;
}
