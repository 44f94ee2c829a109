#include "HVPathCodeCompletionUI.h"

#include "HVCodeCompletion.h"
#include "HVFileSystem.h"
#include "HVUnicode.h"

#include <vector>

namespace {

std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        std::size_t slash = path.find('/');
        std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

// The editor's rule for inserted paths (which lives a layer up): up to the common folder with
// "../", then down.
std::string relativePathTo(std::string_view file, std::string_view folder) {
    std::vector<std::string_view> to = components(file), from = components(folder);
    std::size_t common = 0;
    while (common < to.size() && common < from.size() && to[common] == from[common])
        ++common;
    std::string relative;
    for (std::size_t i = common; i < from.size(); ++i)
        relative += "../";
    for (std::size_t i = common; i < to.size(); ++i) {
        relative += to[i];
        if (i + 1 < to.size())
            relative += '/';
    }
    return relative.empty() ? "." : relative;
}

} // namespace

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
    return HVUnicode::utf16(
        relativePathTo(*path, HVFileSystem::deletingLastPathComponent(delegate->lastPath())));
}
