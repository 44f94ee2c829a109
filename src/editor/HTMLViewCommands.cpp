#include "HTMLView.h"

bool HTMLView::replaceTypedCharacterEntity() {
    return false;
}
