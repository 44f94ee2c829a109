#include "HVFixedWidthMeasurer.h"

#include "HVTextBuffer.h"

#include <algorithm>

namespace {

bool isLowSurrogate(char16_t c) {
    return (c & 0xFC00) == 0xDC00;
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

} // namespace

HVFixedWidthMeasurer::HVFixedWidthMeasurer(const HVTextBuffer& text, double columnWidth,
                                           std::size_t tabWidth)
    : m_text(text), m_columnWidth(columnWidth), m_tabWidth(std::max<std::size_t>(tabWidth, 1)) {}

std::size_t HVFixedWidthMeasurer::widthAt(const std::u16string& characters, std::size_t offset,
                                          std::size_t column) const {
    char16_t c = characters[offset];
    if (isLowSurrogate(c) && offset > 0)
        return 0; // the pair's width is its first half's
    if (c == u'\t')
        return m_tabWidth - column % m_tabWidth;
    return 1;
}

std::vector<std::size_t> HVFixedWidthMeasurer::rowStarts(HVDisplayUnit, HVRange range) {
    std::vector<std::size_t> starts{0};
    if (m_wrapColumns == 0)
        return starts;
    std::u16string characters = m_text.substring(range);
    std::size_t rowStart = 0;
    std::size_t column = 0;
    std::size_t lastBreak = 0; // after the last blank of the row; 0 for none
    for (std::size_t i = 0; i < characters.size(); ++i) {
        std::size_t width = widthAt(characters, i, column);
        if (!isBlank(characters[i]) && width > 0 && column + width > m_wrapColumns &&
            i > rowStart) {
            std::size_t breakAt = lastBreak > rowStart ? lastBreak : i;
            starts.push_back(breakAt);
            rowStart = breakAt;
            lastBreak = 0;
            column = 0;
            for (std::size_t j = breakAt; j < i; ++j)
                column += widthAt(characters, j, column);
            width = widthAt(characters, i, column);
        }
        column += width;
        if (isBlank(characters[i]))
            lastBreak = i + 1;
    }
    return starts;
}

double HVFixedWidthMeasurer::xForOffset(HVDisplayUnit unit, HVRange range, std::size_t row,
                                        std::size_t offset) {
    std::vector<std::size_t> starts = rowStarts(unit, range);
    std::size_t start = starts[std::min(row, starts.size() - 1)];
    std::u16string characters = m_text.substring(range);
    std::size_t column = 0;
    for (std::size_t i = start; i < std::min(offset, characters.size()); ++i)
        column += widthAt(characters, i, column);
    return double(column) * m_columnWidth;
}

std::size_t HVFixedWidthMeasurer::offsetForX(HVDisplayUnit unit, HVRange range, std::size_t row,
                                             double x) {
    std::vector<std::size_t> starts = rowStarts(unit, range);
    row = std::min(row, starts.size() - 1);
    std::u16string characters = m_text.substring(range);
    std::size_t end = row + 1 < starts.size() ? starts[row + 1] : characters.size();
    std::size_t column = 0;
    for (std::size_t i = starts[row]; i < end; ++i) {
        std::size_t width = widthAt(characters, i, column);
        if (width == 0)
            continue;
        // Left of a character's middle is before it.
        if (x < (double(column) + double(width) / 2) * m_columnWidth)
            return i;
        column += width;
    }
    return end;
}
