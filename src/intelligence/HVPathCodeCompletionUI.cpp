#include "HVPathCodeCompletionUI.h"

#include "HVCodeCompletion.h"
#include "HVFileSystem.h"
#include "HVUnicode.h"

std::shared_ptr<HVPathCodeCompletionUI> HVPathCodeCompletionUI::make() {
    return std::shared_ptr<HVPathCodeCompletionUI>(new HVPathCodeCompletionUI());
}

std::string HVPathCodeCompletionUI::nibName() const {
    return {};
}

std::u16string HVPathCodeCompletionUI::stringValue() const {
    const std::string* path = values().stringForKey("path");
    if (!path)
        return {};
    // An untitled document has no folder to be relative to.
    auto delegate = this->delegate();
    if (!delegate || delegate->lastPath().empty())
        return HVUnicode::utf16(*path);
    return HVUnicode::utf16(HVFileSystem::relativePathTo(
        *path, HVFileSystem::deletingLastPathComponent(delegate->lastPath())));
}
