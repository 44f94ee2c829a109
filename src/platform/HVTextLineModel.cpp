#include "HVTextLineModel.h"

#include "HVTextBuffer.h"
#include "HVTextViewModel.h"

#include <algorithm>

HVTextLineModel::~HVTextLineModel() = default;

HVRange HVTextLineModel::withoutLineBreak(const HVTextBuffer& text, HVRange line) {
    std::size_t end = line.end();
    if (end > line.location && text.characterAtIndex(end - 1) == u'\n')
        --end;
    if (end > line.location && text.characterAtIndex(end - 1) == u'\r')
        --end;
    return {line.location, end - line.location};
}

HVRange HVTextLineModel::lineRangeForPosition(const HVTextViewModel& view,
                                              std::size_t position) const {
    const HVTextBuffer& text = view.textStorage();
    return withoutLineBreak(text, text.lineRangeForIndex(position));
}

double HVTextLineModel::goalForPosition(const HVTextViewModel& view, std::size_t position) const {
    return double(position - lineRangeForPosition(view, position).location);
}

std::size_t HVTextLineModel::positionForGoal(const HVTextViewModel& view, std::size_t position,
                                             std::ptrdiff_t lines, double goal) const {
    const HVTextBuffer& text = view.textStorage();
    auto line = std::ptrdiff_t(text.lineNumberForIndex(position));
    auto last = std::ptrdiff_t(text.lineCount()) - 1;
    if (lines < 0 && line == 0)
        return 0;
    if (lines > 0 && line == last)
        return text.length();
    std::ptrdiff_t target = std::clamp(line + lines, std::ptrdiff_t(0), last);
    HVRange content = withoutLineBreak(text, text.rangeOfLine(std::size_t(target)));
    std::size_t column = goal > 0 ? std::size_t(goal) : 0;
    std::size_t result = content.location + std::min(column, content.length);
    // Never between the halves of a surrogate pair.
    char16_t c = text.characterAtIndex(result);
    if (result > content.location && c >= 0xDC00 && c <= 0xDFFF) {
        char16_t before = text.characterAtIndex(result - 1);
        if (before >= 0xD800 && before <= 0xDBFF)
            --result;
    }
    return result;
}
