#pragma once

#include <string>
#include <string_view>

// Conversions between the UTF-8 of paths and property lists and the UTF-16 of text.
// Ill-formed input becomes U+FFFD instead of failing.
class HVUnicode {
public:
    static std::u16string utf16(std::string_view utf8);
    static std::string utf8(std::u16string_view utf16);
};
