#include "HTMLView.h"

#include "HVCodeNavigation.h"
#include "HVFoldMarkerTextAttachment.h"
#include "HVParser.h"
#include "HVUserInterface.h"

#include <charconv>

namespace {

// The end of the line that starts at index in the string, terminator included (CR LF, CR or
// LF).
std::size_t endOfLine(std::u16string_view text, std::size_t index) {
    while (index < text.size()) {
        char16_t c = text[index++];
        if (c == u'\n')
            break;
        if (c == u'\r') {
            if (index < text.size() && text[index] == u'\n')
                ++index;
            break;
        }
    }
    return index;
}

} // namespace

HVRange HTMLView::rangeForLineNumber(std::size_t line, std::size_t* count) const {
    const HVTextStorage& text = textStorage();
    std::u16string full = text.fullString({0, text.length()});
    HVRange found{0, 0};
    std::size_t walked = 0;
    for (std::size_t index = 0; index < full.size() && walked < line; ++walked) {
        std::size_t end = endOfLine(full, index);
        found = {index, end - index};
        index = end;
    }
    if (count)
        *count = walked;
    return found;
}

void HTMLView::gotoLine(std::size_t line) {
    if (line == 0) {
        HVUserInterface::shared().beep();
        line = 1;
    }
    std::size_t count = 0;
    HVRange range = rangeForLineNumber(line, &count);
    if (count < line && line > 1)
        HVUserInterface::shared().beep();
    showRange(range);
}

bool HTMLView::gotoLineFromString(std::u16string_view string) {
    if (string.empty())
        return false;
    // Like a C integer conversion: leading blanks, a sign, digits; anything else reads as 0.
    std::string digits;
    std::size_t i = 0;
    while (i < string.size() && (string[i] == u' ' || string[i] == u'\t'))
        ++i;
    bool negative = i < string.size() && string[i] == u'-';
    if (i < string.size() && (string[i] == u'-' || string[i] == u'+'))
        ++i;
    for (; i < string.size() && string[i] >= u'0' && string[i] <= u'9'; ++i)
        digits += static_cast<char>(string[i]);
    std::size_t line = 0;
    if (!negative && !digits.empty()) {
        auto result = std::from_chars(digits.data(), digits.data() + digits.size(), line);
        if (result.ec != std::errc())
            line = SIZE_MAX; // far beyond the end: the last line
    }
    gotoLine(line);
    return true;
}

void HTMLView::selectLine(std::size_t line, std::size_t toLine) {
    HVRange first = rangeForLineNumber(std::min(line, toLine));
    HVRange last = rangeForLineNumber(std::max(line, toLine));
    showRange({first.location, last.end() - first.location});
}

void HTMLView::setSelectedRange(HVRange range, bool expandCollapsed) {
    if (!expandCollapsed) {
        setSelectedRange(range);
        return;
    }
    HVTextStorage& text = textStorage();
    std::size_t start = std::min(range.location, text.fullLength());
    std::size_t end = std::min(range.end(), text.fullLength());
    // Expand the region that hides the start, then the one inside it that still does, and so
    // on; full-text positions do not move when a region opens.
    for (;;) {
        std::size_t character = text.visiblePosition(start);
        HVRange found;
        auto region = text.firstAttachmentInRange({character, 1}, &found);
        if (!region || start < text.fullPosition(character))
            break;
        if (start >= text.fullPosition(character) + region->string().size())
            break;
        expandForMarkerWithGlyphIndex(character);
        if (text.firstAttachmentInRange({character, 1}) == region)
            break; // not expanded; select its character rather than loop
    }
    std::size_t visibleStart = text.visiblePosition(start);
    std::size_t visibleEnd = text.visiblePosition(end);
    // An end inside a region that stays collapsed takes in its whole character.
    if (visibleEnd < text.length() && text.fullPosition(visibleEnd) < end)
        ++visibleEnd;
    visibleEnd = std::max(visibleEnd, visibleStart);
    setSelectedRange({visibleStart, visibleEnd - visibleStart});
}

void HTMLView::showRange(HVRange range) {
    setSelectedRange(range, true);
    scrollRangeToVisible(selectedRange());
}

std::vector<HVCodeNavEntry> HTMLView::codeNavItems() {
    const HVTextStorage& text = textStorage();
    if (!parser())
        return {};
    if (m_codeNavEditCount != text.characterEditCount() || m_codeNavParser.lock() != parser() ||
        !m_codeNavItems) {
        std::u16string full = text.fullString({0, text.length()});
        m_codeNavItems = std::make_shared<const std::vector<HVCodeNavEntry>>(
            parser()->codeNavItemsForString(full, {0, full.size()}));
        m_codeNavEditCount = text.characterEditCount();
        m_codeNavParser = parser();
    }
    return *m_codeNavItems;
}
