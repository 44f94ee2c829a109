#include "HVCodeNavItem.h"

#include "Defaults.h"
#include "HVBundle.h"
#include "HVFileSystem.h"
#include "HVRegex.h"
#include "HVSearch.h"
#include "HVUnicode.h"

#include <map>
#include <mutex>

namespace {

constexpr std::string_view kErrorDomain = "com.ternwick.halvet.codenav";
constexpr std::size_t kLongestWholeTitle = 70;
constexpr std::size_t kKeptEachSide = 35;

// Icons found so far, by bundle directory and icon name, for the whole process.
struct IconCache {
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, std::optional<std::string>> paths;
};

IconCache& iconCache() {
    static IconCache cache;
    return cache;
}

std::optional<std::string> applicationImage(const std::string& name) {
    std::string extension = HVFileSystem::pathExtension(name);
    std::string stem =
        extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
    return Defaults::pathForResource(stem, extension.empty() ? "png" : extension, "Images");
}

} // namespace

HVCodeNavItem::HVCodeNavItem(HVBundle* bundle) : m_bundle(bundle) {}

HVCodeNavItem::~HVCodeNavItem() = default;

std::unique_ptr<HVCodeNavItem> HVCodeNavItem::initWithPlist(const HVPlistValue& plist,
                                                            HVBundle* bundle, HVError* error) {
    if (!plist.isDictionary()) {
        HVSetError(error, HVError(kErrorDomain, 1, "A code navigation item is not a dictionary."));
        return nullptr;
    }
    auto item = std::make_unique<HVCodeNavItem>(bundle);
    if (const std::string* display = plist.stringForKey("display"))
        item->setMenuTitle(HVUnicode::utf16(*display));
    if (const std::string* icon = plist.stringForKey("icon"))
        item->m_iconName = *icon;
    item->m_bold = plist.boolForKey("bold").value_or(false);
    item->m_italic = plist.boolForKey("italic").value_or(false);
    const std::string* pattern = plist.stringForKey("pattern");
    if (!item->setSearchExpression(pattern ? HVUnicode::utf16(*pattern) : std::u16string(), error))
        return nullptr;
    return item;
}

std::unique_ptr<HVCodeNavItem> HVCodeNavItem::copy() const {
    auto item = std::make_unique<HVCodeNavItem>(m_bundle);
    item->setSearchExpression(m_searchExpression);
    item->setMenuTitle(m_menuTitle);
    item->m_iconName = m_iconName;
    item->m_bold = m_bold;
    item->m_italic = m_italic;
    return item;
}

HVPlistValue HVCodeNavItem::plistRepresentation() const {
    HVPlistValue::Dictionary plist;
    plist["pattern"] = HVUnicode::utf8(m_searchExpression);
    plist["display"] = HVUnicode::utf8(m_menuTitle);
    if (!m_iconName.empty())
        plist["icon"] = m_iconName;
    if (m_bold)
        plist["bold"] = true;
    if (m_italic)
        plist["italic"] = true;
    return plist;
}

std::u16string HVCodeNavItem::truncatedTitleForTitle(std::u16string_view title) {
    if (title.size() <= kLongestWholeTitle)
        return std::u16string(title);
    std::u16string shortened(title.substr(0, kKeptEachSide));
    shortened += u'\u2026';
    shortened += title.substr(title.size() - kKeptEachSide);
    return shortened;
}

bool HVCodeNavItem::setSearchExpression(std::u16string_view pattern, HVError* error) {
    m_searchExpression.assign(pattern);
    m_search.reset();
    if (pattern.empty())
        return true;
    // Ignoring case, with "^" and "$" at every line.
    m_search = HVSearch::initWithExpressionString(pattern, false);
    if (!m_search) {
        HVSetError(error, HVError(kErrorDomain, 2,
                                  "The code navigation pattern \"" + HVUnicode::utf8(pattern) +
                                      "\" is not a valid regular expression: " +
                                      HVRegex::errorForPattern(pattern)));
        return false;
    }
    // The start of the text is the start of a line.
    m_search->setOptions(0);
    m_search->setReplaceString(m_menuTitle);
    return true;
}

void HVCodeNavItem::setMenuTitle(std::u16string_view title) {
    m_menuTitle.assign(title);
    if (m_search)
        m_search->setReplaceString(m_menuTitle);
}

void HVCodeNavItem::setIconName(std::string name) {
    m_iconName = std::move(name);
}

std::optional<std::string> HVCodeNavItem::icon() const {
    if (m_iconName.empty())
        return std::nullopt;
    std::string bundlePath = m_bundle ? m_bundle->path() : std::string();
    IconCache& cache = iconCache();
    std::lock_guard lock(cache.mutex);
    auto key = std::make_pair(bundlePath, m_iconName);
    auto it = cache.paths.find(key);
    if (it != cache.paths.end())
        return it->second;
    std::optional<std::string> path;
    if (m_bundle) {
        path = m_bundle->imageNamed(m_iconName);
        if (!path && HVFileSystem::pathExtension(m_iconName).empty())
            path = m_bundle->imageNamed(m_iconName + ".png");
    }
    if (!path)
        path = applicationImage(m_iconName);
    cache.paths.emplace(std::move(key), path);
    return path;
}
