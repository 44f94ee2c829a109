#include "HTMLView.h"

bool HTMLView::replaceTypedCharacterEntity() {
    return false;
}

void HTMLView::convertCharacterEntitiesToHTML() {}
void HTMLView::insertSpecialCharacter(std::u16string_view entity) {
    (void)entity;
}
void HTMLView::formatText(int tag) {
    (void)tag;
}
void HTMLView::makeLink() {}
void HTMLView::insertImage() {}
void HTMLView::insertPathToFile() {}
void HTMLView::insertContentsOfFile() {}
void HTMLView::insertImage(const std::string& path) {
    (void)path;
}
void HTMLView::insertPathToFile(const std::string& path) {
    (void)path;
}
void HTMLView::insertContentsOfFile(const std::string& path) {
    (void)path;
}
bool HTMLView::validateMenuItem(std::string_view action, std::string* title) {
    (void)action, (void)title;
    return true;
}
