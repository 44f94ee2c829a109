#include "HVTheme.h"

#include "Defaults.h"
#include "HVFileSystem.h"
#include "HVHexDigit.h"
#include "HVLocalization.h"
#include "HVPropertyList.h"
#include "HVSyntaxSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::string_view kIdentifierKey = "id";
constexpr std::string_view kTitleKey = "format-title";
constexpr std::string_view kVersionKey = "format-version";
constexpr std::string_view kGlobalKey = "global-settings";
constexpr std::string_view kStylesKey = "styles";

// Font traits that a style may carry besides its colours, by their key in the theme file.
constexpr std::pair<std::string_view, HVFontTrait> kTraitKeys[] = {
    {"bold", HVBoldFontTrait},
    {"italic", HVItalicFontTrait},
    {"underline", HVUnderlineFontTrait},
};

double pairValue(std::string_view string, std::size_t at) {
    int high = HVHexDigitValue(string[at]);
    int low = HVHexDigitValue(string[at + 1]);
    if (high < 0 || low < 0)
        return 1.0;
    return (high * 16 + low) / 255.0;
}

std::optional<HVColor> colorForKey(const HVPlistValue& dictionary, std::string_view key) {
    const std::string* string = dictionary.stringForKey(key);
    return string ? HVTheme::colorFromString(*string) : std::nullopt;
}

// The selected-control colour of a new theme: a light blue that keeps black text readable.
constexpr HVColor kSelectionColor{0.7098039215686275, 0.8352941176470589, 1.0, 1.0};

} // namespace

HVTheme::HVTheme()
    : m_title(HVLocalization::localizedString("New Theme")), m_backgroundColor(HVColor::white()),
      m_textColor(HVColor::black()), m_insertionPointColor(HVColor::black()),
      m_invisiblesColor(HVColor::black()), m_selectionColor(kSelectionColor), m_modified(true) {}

HVTheme::HVTheme(const HVPlistValue& plist) {
    if (const std::string* identifier = plist.stringForKey(kIdentifierKey))
        m_identifier = *identifier;
    if (const std::string* title = plist.stringForKey(kTitleKey))
        m_title = *title;
    if (const HVPlistValue* global = plist.objectForKey(kGlobalKey); global) {
        m_backgroundColor = colorForKey(*global, "background");
        m_textColor = colorForKey(*global, "foreground");
        m_insertionPointColor = colorForKey(*global, "insertion-point");
        m_invisiblesColor = colorForKey(*global, "invisibles");
        m_selectionColor = colorForKey(*global, "selection");
    }
    if (const HVPlistValue::Array* styles = plist.arrayForKey(kStylesKey)) {
        for (const HVPlistValue& entry : *styles) {
            const std::string* styleIdentifier = entry.stringForKey(kIdentifierKey);
            if (!styleIdentifier || styleIdentifier->empty())
                continue;
            HVAttributes attributes;
            if (auto color = colorForKey(entry, "foreground"))
                attributes = attributes.setting(HVForegroundColorAttribute, *color);
            if (auto color = colorForKey(entry, "background"))
                attributes = attributes.setting(HVBackgroundColorAttribute, *color);
            std::int64_t traits = 0;
            for (const auto& [key, trait] : kTraitKeys) {
                if (entry.boolForKey(key).value_or(false))
                    traits |= trait;
            }
            if (traits)
                attributes = attributes.setting(HVFontTraitsAttribute, traits);
            if (!attributes.empty())
                m_styles.insert_or_assign(*styleIdentifier, std::move(attributes));
        }
    }
    m_modified = false;
}

std::shared_ptr<HVTheme> HVTheme::initWithContentsOfFile(const std::string& path, HVError* error) {
    auto plist = HVPropertyList::readFromFile(path, error);
    if (plist && !plist->isDictionary()) {
        HVSetError(error, HVError(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                                  "The theme file \"" + path + "\" does not hold a dictionary."));
    }
    return std::make_shared<HVTheme>(plist ? *plist : HVPlistValue());
}

std::shared_ptr<HVTheme> HVTheme::copy() const {
    HVPlistValue plist = plistRepresentation();
    plist.dictionary()->erase(std::string(kIdentifierKey));
    return std::make_shared<HVTheme>(plist);
}

std::optional<HVColor> HVTheme::colorFromString(std::string_view string) {
    if (string.size() < 7 || string[0] != '#')
        return std::nullopt;
    HVColor color;
    color.red = pairValue(string, 1);
    color.green = pairValue(string, 3);
    color.blue = pairValue(string, 5);
    color.alpha = string.size() == 9 ? pairValue(string, 7) : 1.0;
    return color;
}

std::string HVTheme::stringFromColor(const HVColor& color) {
    auto component = [](double value) {
        return unsigned(std::clamp(std::floor(value * 255.0), 0.0, 255.0));
    };
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%.2x%.2x%.2x%.2x", component(color.red),
                  component(color.green), component(color.blue), component(color.alpha));
    return buffer;
}

const std::string& HVTheme::identifier() const {
    if (m_identifier.empty())
        m_identifier = hvsyntax::makeUniqueIdentifier();
    return m_identifier;
}

void HVTheme::setTitle(std::string title) {
    m_title = std::move(title);
    m_modified = true;
}

void HVTheme::setIdentifier(std::string identifier) {
    m_identifier = std::move(identifier);
    m_modified = true;
}

void HVTheme::setBackgroundColor(std::optional<HVColor> color) {
    m_backgroundColor = color;
    m_modified = true;
}

void HVTheme::setTextColor(std::optional<HVColor> color) {
    m_textColor = color;
    m_modified = true;
}

void HVTheme::setInsertionPointColor(std::optional<HVColor> color) {
    m_insertionPointColor = color;
    m_modified = true;
}

void HVTheme::setInvisiblesColor(std::optional<HVColor> color) {
    m_invisiblesColor = color;
    m_modified = true;
}

void HVTheme::setSelectionColor(std::optional<HVColor> color) {
    m_selectionColor = color;
    m_modified = true;
}

bool HVTheme::setValue(std::string_view key, const HVPlistValue& value) {
    const std::string* string = value.string();
    if (!string && !value.isNone())
        return false;
    std::string text = string ? *string : std::string();
    if (key == "title") {
        setTitle(std::move(text));
        return true;
    }
    if (key == "identifier") {
        setIdentifier(std::move(text));
        return true;
    }
    using Setter = void (HVTheme::*)(std::optional<HVColor>);
    static const std::pair<std::string_view, Setter> colorSetters[] = {
        {"backgroundColor", &HVTheme::setBackgroundColor},
        {"textColor", &HVTheme::setTextColor},
        {"insertionPointColor", &HVTheme::setInsertionPointColor},
        {"invisiblesColor", &HVTheme::setInvisiblesColor},
        {"selectionColor", &HVTheme::setSelectionColor},
    };
    for (const auto& [name, setter] : colorSetters) {
        if (key == name) {
            (this->*setter)(colorFromString(text));
            return true;
        }
    }
    return false;
}

std::string HVTheme::filePath() const {
    // The identifier names a file; a slash in it must not lead out of the folder.
    std::string name = identifier();
    std::replace(name.begin(), name.end(), '/', '_');
    if (name.front() == '.')
        name.front() = '_';
    return Defaults::appSupportPathForFile(name + ".plist", "Themes");
}

bool HVTheme::commit(HVError* error) {
    if (!m_modified)
        return true;
    m_modified = false;
    std::string path = filePath();
    if (!HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path), 0777, error))
        return false;
    return HVPropertyList::writeToFile(plistRepresentation(), path, HVPlistFormat::XML, error);
}

HVAttributes HVTheme::attributesForIdentifier(std::string_view styleIdentifier) const {
    std::string_view id = styleIdentifier;
    while (true) {
        auto it = m_styles.find(id);
        if (it != m_styles.end())
            return it->second;
        std::size_t dot = id.rfind('.');
        if (dot == std::string_view::npos)
            return HVAttributes();
        id = id.substr(0, dot);
    }
}

bool HVTheme::containsIdentifier(std::string_view styleIdentifier) const {
    return m_styles.find(styleIdentifier) != m_styles.end();
}

std::vector<std::string> HVTheme::styleIdentifiers() const {
    std::vector<std::string> identifiers;
    for (const auto& [id, attributes] : m_styles)
        identifiers.push_back(id);
    return identifiers;
}

void HVTheme::addStyle(std::string_view styleIdentifier, const HVAttributes& attributes) {
    if (!styleIdentifier.empty() && !containsIdentifier(styleIdentifier))
        m_styles.emplace(std::string(styleIdentifier), attributes);
    m_modified = true;
}

void HVTheme::changeIdentifier(std::string_view styleIdentifier, std::string_view newIdentifier) {
    auto it = m_styles.find(styleIdentifier);
    if (it != m_styles.end()) {
        HVAttributes attributes = std::move(it->second);
        m_styles.erase(it);
        if (!newIdentifier.empty())
            m_styles.insert_or_assign(std::string(newIdentifier), std::move(attributes));
    }
    m_modified = true;
}

void HVTheme::changeStyle(std::string_view styleIdentifier, const HVAttributes& attributes) {
    if (!styleIdentifier.empty())
        m_styles.insert_or_assign(std::string(styleIdentifier), attributes);
    m_modified = true;
}

void HVTheme::removeStyle(std::string_view styleIdentifier) {
    auto it = m_styles.find(styleIdentifier);
    if (it != m_styles.end())
        m_styles.erase(it);
    m_modified = true;
}

HVPlistValue HVTheme::plistRepresentation() const {
    HVPlistValue::Dictionary plist;
    plist[std::string(kIdentifierKey)] = identifier();
    plist[std::string(kTitleKey)] = m_title;
    plist[std::string(kVersionKey)] = "1.0";

    HVPlistValue::Dictionary global;
    auto putColor = [](HVPlistValue::Dictionary& into, const char* key,
                       const std::optional<HVColor>& color) {
        if (color)
            into[key] = stringFromColor(*color);
    };
    putColor(global, "background", m_backgroundColor);
    putColor(global, "foreground", m_textColor);
    putColor(global, "insertion-point", m_insertionPointColor);
    putColor(global, "invisibles", m_invisiblesColor);
    putColor(global, "selection", m_selectionColor);
    plist[std::string(kGlobalKey)] = std::move(global);

    HVPlistValue::Array styles;
    for (const auto& [id, attributes] : m_styles) {
        HVPlistValue::Dictionary style;
        style[std::string(kIdentifierKey)] = id;
        if (const HVColor* color = attributes.color(HVForegroundColorAttribute))
            style["foreground"] = stringFromColor(*color);
        if (const HVColor* color = attributes.color(HVBackgroundColorAttribute))
            style["background"] = stringFromColor(*color);
        std::int64_t traits = attributes.integerValue(HVFontTraitsAttribute).value_or(0);
        for (const auto& [key, trait] : kTraitKeys) {
            if (traits & trait)
                style[std::string(key)] = true;
        }
        styles.push_back(std::move(style));
    }
    plist[std::string(kStylesKey)] = std::move(styles);
    return plist;
}

int HVTheme::compareTitle(const HVTheme& other) const {
    return hvsyntax::compareIgnoringCase(m_title, other.m_title);
}
