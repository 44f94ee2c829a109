#include "HVCallHint.h"

namespace {

bool isSurrounding(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'[' || c == u']';
}

HVRange trimmed(std::u16string_view text, std::size_t start, std::size_t end) {
    while (start < end && isSurrounding(text[start]))
        ++start;
    while (end > start && isSurrounding(text[end - 1]))
        --end;
    return {start, end - start};
}

} // namespace

HVRange HVCallHint::argumentRangeInPrototype(std::u16string_view prototype, std::size_t argument) {
    std::size_t open = prototype.find(u'(');
    if (open == std::u16string_view::npos)
        return {HVNotFound, 0};
    std::size_t index = 0;
    std::size_t start = open + 1;
    int depth = 0;
    HVRange last{HVNotFound, 0};
    for (std::size_t i = start; i < prototype.size(); ++i) {
        char16_t c = prototype[i];
        bool ends = (c == u',' && depth == 0) || (c == u')' && depth == 0);
        if (c == u'(')
            ++depth;
        else if (c == u')' && depth > 0)
            --depth;
        if (!ends)
            continue;
        HVRange range = trimmed(prototype, start, i);
        if (range.length > 0) {
            if (index == argument)
                return range;
            last = range;
        }
        if (c == u')')
            break;
        ++index;
        start = i + 1;
    }
    // A variadic tail stands for every argument after it.
    if (HVRangeIsFound(last) && argument >= index &&
        prototype.substr(last.location, last.length).ends_with(u"..."))
        return last;
    return {HVNotFound, 0};
}
