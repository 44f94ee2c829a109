#include "HVCodeNavParser.h"

#include "HVCodeNavItem.h"
#include "HVFileSystem.h"
#include "HVParser.h"
#include "HVPropertyList.h"
#include "HVRegex.h"
#include "HVSearch.h"

HVCodeNavParser::HVCodeNavParser(const HVPlistValue& plist, HVParser* parser) : m_parser(parser) {
    const HVPlistValue::Array* items = plist.array();
    if (!items) {
        m_loadErrors.emplace_back("com.ternwick.halvet.codenav", 1,
                                  "The code navigation is not an array.");
        return;
    }
    HVBundle* bundle = parser ? parser->bundle() : nullptr;
    for (const HVPlistValue& entry : *items) {
        HVError error;
        if (auto item = HVCodeNavItem::initWithPlist(entry, bundle, &error))
            m_searches.push_back(std::move(item));
        else
            m_loadErrors.push_back(error);
    }
}

HVCodeNavParser::~HVCodeNavParser() = default;

void HVCodeNavParser::registerWithBundles() {
    HVCodeNavigation::setFactory(
        [](const HVPlistValue& items, HVParser& parser, std::vector<HVError>& errors) {
            auto codeNavigation = std::make_shared<HVCodeNavParser>(items, &parser);
            errors.insert(errors.end(), codeNavigation->loadErrors().begin(),
                          codeNavigation->loadErrors().end());
            return codeNavigation;
        });
}

void HVCodeNavParser::setSearches(std::vector<std::unique_ptr<HVCodeNavItem>> searches) {
    m_searches = std::move(searches);
}

namespace {

std::size_t nextCharacter(std::u16string_view text, std::size_t position) {
    if (position + 1 < text.size() && (text[position] & 0xFC00) == 0xD800 &&
        (text[position + 1] & 0xFC00) == 0xDC00)
        return position + 2;
    return position + 1;
}

} // namespace

std::vector<HVCodeNavEntry> HVCodeNavParser::matchesForString(std::u16string_view text,
                                                              HVRange range) {
    std::vector<HVCodeNavEntry> entries;
    const std::size_t end = std::min(range.end(), text.size());
    const std::size_t start = std::min(range.location, end);
    for (const auto& item : m_searches) {
        HVSearch* search = item->search();
        HVRegex* expression = search ? search->expression() : nullptr;
        if (!expression)
            continue;
        std::optional<std::string> iconPath;
        bool iconLooked = false;
        std::size_t position = start;
        while (position <= end) {
            // Within the range, but with the text around it in view, so "^" and look-behinds
            // see the real line starts.
            auto match = expression->copyMatchForString(text, {position, end - position}, 0);
            if (!match)
                break;
            HVRange found = match->rangeForCapture(0);
            position = found.length > 0 ? found.end() : nextCharacter(text, found.location);

            HVCodeNavEntry entry;
            entry.range = found;
            if (item->isSeparator()) {
                entry.separator = true;
                entries.push_back(std::move(entry));
                continue;
            }
            std::u16string_view matched = text.substr(found.location, found.length);
            // The title comes from the pattern matched again on the matched text alone; when
            // it does not match there, the match has no title and no entry.
            if (!expression->copyMatchForString(matched))
                continue;
            entry.title =
                HVCodeNavItem::truncatedTitleForTitle(search->replacementForString(matched));
            if (entry.title.empty()) {
                entry.separator = true;
                entries.push_back(std::move(entry));
                continue;
            }
            entry.bold = item->isBold();
            entry.italic = item->isItalic();
            entry.iconName = item->iconName();
            if (!iconLooked) {
                iconPath = item->icon();
                iconLooked = true;
            }
            entry.iconPath = iconPath.value_or(std::string());
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

HVPlistValue HVCodeNavParser::plistRepresentation() const {
    HVPlistValue::Array items;
    for (const auto& item : m_searches)
        items.push_back(item->plistRepresentation());
    return items;
}

bool HVCodeNavParser::commitToPath(const std::string& contentsDirectory, HVError* error) const {
    return HVPropertyList::writeToFile(
        plistRepresentation(),
        HVFileSystem::appendingPathComponent(contentsDirectory, "codenav.plist"),
        HVPlistFormat::Binary, error);
}
