#include "HVSearchResult.h"

#include "HVUnicode.h"

#include <algorithm>

namespace {

bool isLineBreak(char32_t c) {
    return c == u'\n' || c == u'\r';
}

bool splitsPair(std::u16string_view text, std::size_t position) {
    return position > 0 && position < text.size() && (text[position - 1] & 0xFC00) == 0xD800 &&
           (text[position] & 0xFC00) == 0xDC00;
}

bool isContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// A range made to fit inside a subject of the given length.
HVRange clamp(HVRange range, std::size_t size) {
    std::size_t location = std::min(range.location, size);
    return HVRange{location, std::min(range.length, size - location)};
}

} // namespace

HVSearchContextLine HVSearchResult::createAttributedStringFromString(std::u16string_view text,
                                                                     HVRange range) {
    range = clamp(range, text.size());
    std::size_t begin = range.location < contextLength ? 0 : range.location - contextLength;
    for (std::size_t i = range.location; i > begin; --i) {
        if (isLineBreak(text[i - 1])) {
            begin = i;
            break;
        }
    }
    if (splitsPair(text, begin))
        ++begin;
    std::size_t end = std::min(text.size(), range.end() + contextLength);
    if (splitsPair(text, end))
        ++end;
    return HVSearchContextLine{std::u16string(text.substr(begin, end - begin)),
                               HVRange{range.location - begin, range.length}};
}

HVSearchContextLine HVSearchResult::createAttributedStringFromUTF8Data(std::string_view data,
                                                                       HVRange range) {
    range = clamp(range, data.size());
    // Back over up to 40 characters, stopping after a line break.
    std::size_t begin = range.location;
    for (std::size_t characters = 0; begin > 0 && characters < contextLength; ++characters) {
        if (isLineBreak(char32_t(data[begin - 1])))
            break;
        --begin;
        while (begin > 0 && isContinuation(data[begin]))
            --begin;
    }
    std::size_t end = range.end();
    for (std::size_t characters = 0; end < data.size() && characters < contextLength;
         ++characters) {
        ++end;
        while (end < data.size() && isContinuation(data[end]))
            ++end;
    }
    std::u16string before = HVUnicode::utf16(data.substr(begin, range.location - begin));
    std::u16string match = HVUnicode::utf16(data.substr(range.location, range.length));
    HVSearchContextLine line{before + match, HVRange{before.size(), match.size()}};
    line.text += HVUnicode::utf16(data.substr(range.end(), end - range.end()));
    return line;
}
