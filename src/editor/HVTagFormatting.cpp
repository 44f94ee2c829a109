#include "HVTagFormatting.h"

#include "Defaults.h"
#include "HVPropertyList.h"

#include <optional>

namespace {

// Element names are ASCII; anything else has no entry.
std::optional<std::string> lowerCaseKey(std::u16string_view name) {
    std::string key;
    key.reserve(name.size());
    for (char16_t c : name) {
        if (c >= 0x80)
            return std::nullopt;
        key += char(c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c);
    }
    return key;
}

} // namespace

HVTagFormatting HVTagFormatting::load() {
    std::map<std::string, int, std::less<>> codes;
    auto path = Defaults::pathForResource("specialTagFormatting", "plist", "data");
    auto plist = path ? HVPropertyList::readFromFile(*path) : std::nullopt;
    if (const auto* dictionary = plist ? plist->dictionary() : nullptr) {
        for (const auto& [name, value] : *dictionary) {
            if (auto code = value.integerValue()) {
                if (auto key = lowerCaseKey(std::u16string(name.begin(), name.end())))
                    codes[*key] = int(*code);
            }
        }
    }
    return HVTagFormatting(std::move(codes));
}

HVTagFormatting::HVTagFormatting(std::map<std::string, int, std::less<>> codes)
    : m_codes(std::move(codes)) {}

int HVTagFormatting::codeForTag(std::u16string_view name) const {
    auto key = lowerCaseKey(name);
    if (!key)
        return Inline;
    auto it = m_codes.find(*key);
    return it == m_codes.end() ? Inline : it->second;
}

bool HVTagFormatting::hasEntry(std::u16string_view name) const {
    auto key = lowerCaseKey(name);
    return key && m_codes.contains(*key);
}
