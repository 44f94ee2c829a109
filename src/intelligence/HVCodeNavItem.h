#pragma once

#include "HVError.h"
#include "HVPlistValue.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class HVBundle;
class HVSearch;

// One search of a language's code navigation: a regular expression (matched ignoring case,
// "^" and "$" at every line) and a display template in the replacement syntax of the search
// ("$1" is the first group). An empty template makes the item a separator. The title may be
// bold or italic and carry an icon.
class HVCodeNavItem {
public:
    // An item with an empty pattern and template (initWithBundle:).
    explicit HVCodeNavItem(HVBundle* bundle);
    // From a "codenav.plist" dictionary ("pattern", "display", "icon", "bold", "italic");
    // none, with the reason, when it is not a dictionary or its pattern does not compile.
    static std::unique_ptr<HVCodeNavItem> initWithPlist(const HVPlistValue& plist, HVBundle* bundle,
                                                        HVError* error = nullptr);
    ~HVCodeNavItem();
    HVCodeNavItem(const HVCodeNavItem&) = delete;
    HVCodeNavItem& operator=(const HVCodeNavItem&) = delete;

    // The same pattern, template, icon name and traits.
    std::unique_ptr<HVCodeNavItem> copy() const;
    // "pattern" and "display" always; "icon" when set; "bold" and "italic" when true.
    HVPlistValue plistRepresentation() const;

    // A title of 71 characters or more becomes its first 35, an ellipsis and its last 35.
    static std::u16string truncatedTitleForTitle(std::u16string_view title);

    bool isSeparator() const { return m_menuTitle.empty(); }

    const std::u16string& searchExpression() const { return m_searchExpression; }
    // False, keeping the text, when the pattern does not compile; the item then finds nothing.
    bool setSearchExpression(std::u16string_view pattern, HVError* error = nullptr);
    const std::u16string& menuTitle() const { return m_menuTitle; }
    void setMenuTitle(std::u16string_view title);
    const std::string& iconName() const { return m_iconName; }
    void setIconName(std::string name);
    bool isBold() const { return m_bold; }
    void setIsBold(bool bold) { m_bold = bold; }
    bool isItalic() const { return m_italic; }
    void setIsItalic(bool italic) { m_italic = italic; }
    // The compiled search with the template as its replace string; none while the pattern is
    // empty or does not compile.
    HVSearch* search() const { return m_search.get(); }
    HVBundle* bundle() const { return m_bundle; }

    // The icon's image file: the bundle's image of that name, else the application's (in its
    // "Images" resources); none without an icon name or when neither has it. The GUI scales
    // what it loads to 10 x 10 points. Answers are cached for the process.
    std::optional<std::string> icon() const;

private:
    HVBundle* m_bundle = nullptr;
    std::u16string m_searchExpression;
    std::u16string m_menuTitle;
    std::string m_iconName;
    bool m_bold = false;
    bool m_italic = false;
    std::unique_ptr<HVSearch> m_search;
};
