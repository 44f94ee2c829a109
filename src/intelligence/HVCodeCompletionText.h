#pragma once

#include "HVRange.h"

#include <cwctype>
#include <string>
#include <string_view>

// Small text steps that every completion kind shares; positions are UTF-16 code units.
namespace HVCodeCompletionText {

inline bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

// Where the line holding position begins.
inline std::size_t lineStart(std::u16string_view text, std::size_t position) {
    position = std::min(position, text.size());
    while (position > 0 && !isLineBreak(text[position - 1]))
        --position;
    return position;
}

// Where the line holding position ends, before its terminator.
inline std::size_t lineEnd(std::u16string_view text, std::size_t position) {
    position = std::min(position, text.size());
    while (position < text.size() && !isLineBreak(text[position]))
        ++position;
    return position;
}

inline char16_t lowercased(char16_t c) {
    return c < 0x80 ? (c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c)
                    : char16_t(std::towlower(wint_t(c)));
}

inline std::u16string lowercased(std::u16string_view text) {
    std::u16string result(text);
    for (char16_t& c : result)
        c = lowercased(c);
    return result;
}

inline bool hasPrefixIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    if (prefix.size() > text.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lowercased(text[i]) != lowercased(prefix[i]))
            return false;
    }
    return true;
}

// A capture that took part in the match and lies within [start, end).
inline bool within(HVRange capture, std::size_t start, std::size_t end) {
    return HVRangeIsFound(capture) && capture.location >= start && capture.end() <= end;
}

} // namespace HVCodeCompletionText
