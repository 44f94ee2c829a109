#include "HVSpecialCharacters.h"

#include "Defaults.h"
#include "HVPlistValue.h"
#include "HVPropertyList.h"
#include "HVUnicode.h"

#include <algorithm>

namespace {

constexpr std::string_view AccentsGroup = "Accents";

HVError badEntry(std::string_view what) {
    return HVError(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                   "The special characters list is damaged: " + std::string(what));
}

} // namespace

HVSpecialCharacters HVSpecialCharacters::load(HVError* error) {
    auto path = Defaults::pathForResource("specialCharacters", "plist", "data");
    if (!path) {
        HVSetError(error, badEntry("it is missing."));
        return {};
    }
    auto plist = HVPropertyList::readFromFile(*path, error);
    if (!plist)
        return {};
    return fromPropertyList(*plist, error);
}

HVSpecialCharacters HVSpecialCharacters::fromPropertyList(const HVPlistValue& plist,
                                                          HVError* error) {
    HVSpecialCharacters characters;
    bool reported = false;
    auto report = [&](std::string what) {
        if (!reported)
            HVSetError(error, badEntry(what));
        reported = true;
    };
    const HVPlistValue::Dictionary* groups = plist.dictionary();
    if (!groups) {
        report("it is not a dictionary.");
        return characters;
    }
    for (const auto& [name, value] : *groups) {
        const HVPlistValue::Array* items = value.array();
        if (!items) {
            report("the group \"" + name + "\" is not a list.");
            continue;
        }
        Group group{name, {}};
        for (const HVPlistValue& item : *items) {
            const std::string* appearance = item.stringForKey("appearance");
            const std::string* entity = item.stringForKey("value");
            if (!appearance || !entity) {
                report("an entry of \"" + name + "\" is not a pair of texts.");
                continue;
            }
            if (appearance->empty() || entity->empty())
                continue;
            group.entries.push_back({HVUnicode::utf16(*appearance), HVUnicode::utf16(*entity)});
        }
        if (name != AccentsGroup) {
            for (const Entry& entry : group.entries)
                characters.add(entry);
        }
        characters.m_groups.push_back(std::move(group));
    }
    return characters;
}

void HVSpecialCharacters::add(const Entry& entry) {
    auto [it, inserted] = m_map.insert_or_assign(entry.appearance, entry.value);
    if (!inserted)
        return;
    auto& keys = m_byFirstUnit[entry.appearance.front()];
    keys.push_back(entry.appearance);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.size() > b.size(); });
}

const std::u16string* HVSpecialCharacters::entityForCharacter(std::u16string_view character) const {
    auto it = m_map.find(std::u16string(character));
    return it == m_map.end() ? nullptr : &it->second;
}

std::u16string HVSpecialCharacters::replacingCharacters(std::u16string_view text,
                                                        std::size_t* caret) const {
    std::u16string result;
    result.reserve(text.size());
    std::size_t movedCaret = caret ? *caret : 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::u16string* match = nullptr;
        if (auto candidates = m_byFirstUnit.find(text[i]); candidates != m_byFirstUnit.end()) {
            for (const std::u16string& key : candidates->second) {
                if (text.substr(i, key.size()) == key) {
                    match = &key;
                    break;
                }
            }
        }
        if (!match) {
            result += text[i++];
            continue;
        }
        const std::u16string& entity = m_map.at(*match);
        if (caret && i < *caret)
            movedCaret += entity.size() - match->size();
        result += entity;
        i += match->size();
    }
    if (caret)
        *caret = movedCaret;
    return result;
}
