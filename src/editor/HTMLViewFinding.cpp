#include "HTMLView.h"

HVRange HTMLView::nextRangeForSearch(HVSearch& search) {
    (void)search;
    return {HVNotFound, 0};
}
HVRange HTMLView::previousRangeForSearch(HVSearch& search) {
    (void)search;
    return {HVNotFound, 0};
}
bool HTMLView::findNext() {
    return false;
}
bool HTMLView::findPrevious() {
    return false;
}
bool HTMLView::replaceAndFind() {
    return false;
}
std::size_t HTMLView::replaceAll(bool inSelection) {
    (void)inSelection;
    return 0;
}
void HTMLView::findUsingSelection() {}
bool HTMLView::quickSearch(std::u16string_view text, bool backwards) {
    (void)text, (void)backwards;
    return false;
}
bool HTMLView::quickSearchAgain(std::u16string_view text, bool backwards) {
    (void)text, (void)backwards;
    return false;
}
void HTMLView::makeFindPanelTarget() {}
HTMLView* HTMLView::findPanelTarget() {
    return nullptr;
}
