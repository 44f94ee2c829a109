#include "HTMLView.h"

#include "HVCodeNavigation.h"

HVRange HTMLView::rangeForLineNumber(std::size_t line, std::size_t* count) const {
    (void)line, (void)count;
    return {0, 0};
}
void HTMLView::gotoLine(std::size_t line) {
    (void)line;
}
bool HTMLView::gotoLineFromString(std::u16string_view string) {
    (void)string;
    return false;
}
void HTMLView::selectLine(std::size_t line, std::size_t toLine) {
    (void)line, (void)toLine;
}
void HTMLView::setSelectedRange(HVRange range, bool expandCollapsed) {
    (void)expandCollapsed;
    setSelectedRange(range);
}
void HTMLView::showRange(HVRange range) {
    setSelectedRange(range, true);
}
std::vector<HVCodeNavEntry> HTMLView::codeNavItems() {
    return {};
}
