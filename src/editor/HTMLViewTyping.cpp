#include "HTMLView.h"

void HTMLView::closeTag() {}
void HTMLView::entabBlock() {}
void HTMLView::detabBlock() {}

bool HTMLView::undoableInsertText(std::u16string_view text, std::string_view actionName) {
    return replaceCharacters(selectedRange(), text, actionName);
}

bool HTMLView::undoableSetString(std::u16string_view text, std::string_view actionName) {
    return replaceCharacters({0, string().size()}, text, actionName);
}
