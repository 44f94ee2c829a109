#include "HVThemeRepository.h"

#include "Defaults.h"
#include "HVLocalization.h"
#include "HVPreferences.h"
#include "HVTheme.h"

#include <algorithm>

namespace {

constexpr std::string_view kCurrentThemeKey = "HVCurrentThemeID";
constexpr std::string_view kHiddenThemesKey = "HVHiddenThemes";

std::string storedCurrentThemeIdentifier() {
    if (auto stored = HVPreferences::sharedInstance().stringForKey(kCurrentThemeKey))
        return *stored;
    for (const auto& [key, value] : Defaults::defaultValues()) {
        if (key == kCurrentThemeKey && value.string())
            return *value.string();
    }
    return {};
}

} // namespace

HVThemeRepository::HVThemeRepository() = default;
HVThemeRepository::~HVThemeRepository() = default;

HVThemeRepository& HVThemeRepository::sharedRepository() {
    static HVThemeRepository repository;
    return repository;
}

void HVThemeRepository::reset() {
    m_loaded = false;
    m_themes.clear();
    m_currentTheme.reset();
    m_hiddenThemes.clear();
    m_loadErrors.clear();
}

void HVThemeRepository::loadThemesIfNeeded() {
    if (!m_loaded)
        loadThemes();
}

void HVThemeRepository::loadThemes() {
    m_loaded = true;
    m_themes.clear();
    m_currentTheme.reset();
    m_loadErrors.clear();
    m_hiddenThemes.clear();
    if (auto hidden = HVPreferences::sharedInstance().arrayForKey(kHiddenThemesKey)) {
        for (const auto& value : *hidden) {
            if (const std::string* identifier = value.string())
                m_hiddenThemes.insert(*identifier);
        }
    }

    std::string currentIdentifier = storedCurrentThemeIdentifier();
    std::set<std::string, std::less<>> taken;
    for (const auto& path : Defaults::pathsForResourcesOfType("plist", "Themes")) {
        HVError error;
        auto theme = HVTheme::initWithContentsOfFile(path, &error);
        if (!error.domain().empty())
            m_loadErrors.push_back(error);
        const std::string& identifier = theme->identifier();
        if (m_hiddenThemes.count(identifier) || taken.count(identifier))
            continue;
        taken.insert(identifier);
        m_themes.push_back(theme);
        if (identifier == currentIdentifier)
            m_currentTheme = theme;
    }
    std::stable_sort(m_themes.begin(), m_themes.end(),
                     [](const auto& a, const auto& b) { return a->compareTitle(*b) < 0; });
    if (!m_currentTheme && !m_themes.empty())
        setCurrentTheme(m_themes.front());
}

const std::vector<std::shared_ptr<HVTheme>>& HVThemeRepository::themes() {
    loadThemesIfNeeded();
    return m_themes;
}

std::size_t HVThemeRepository::countOfThemes() {
    return themes().size();
}

std::shared_ptr<HVTheme> HVThemeRepository::objectInThemesAtIndex(std::size_t index) {
    const auto& list = themes();
    return index < list.size() ? list[index] : nullptr;
}

void HVThemeRepository::insertObject(std::shared_ptr<HVTheme> theme, std::size_t index) {
    loadThemesIfNeeded();
    if (!theme)
        return;
    index = std::min(index, m_themes.size());
    m_themes.insert(m_themes.begin() + std::ptrdiff_t(index), std::move(theme));
}

void HVThemeRepository::removeObjectFromThemesAtIndex(std::size_t index) {
    loadThemesIfNeeded();
    if (index >= m_themes.size())
        return;
    std::shared_ptr<HVTheme> theme = m_themes[index];
    m_hiddenThemes.insert(theme->identifier());
    HVPlistValue::Array hidden;
    for (const auto& identifier : m_hiddenThemes)
        hidden.push_back(identifier);
    HVPreferences::sharedInstance().setObject(kHiddenThemesKey, std::move(hidden));
    m_themes.erase(m_themes.begin() + std::ptrdiff_t(index));
    if (theme == m_currentTheme) {
        if (m_themes.empty())
            m_currentTheme.reset();
        else
            setCurrentTheme(m_themes.back());
    }
}

std::shared_ptr<HVTheme> HVThemeRepository::themeWithIdentifier(std::string_view identifier) {
    for (const auto& theme : themes()) {
        if (theme->identifier() == identifier)
            return theme;
    }
    return nullptr;
}

std::shared_ptr<HVTheme> HVThemeRepository::currentTheme() {
    loadThemesIfNeeded();
    return m_currentTheme;
}

void HVThemeRepository::setCurrentTheme(std::shared_ptr<HVTheme> theme) {
    loadThemesIfNeeded();
    m_currentTheme = std::move(theme);
    if (m_currentTheme)
        HVPreferences::sharedInstance().setObject(kCurrentThemeKey, m_currentTheme->identifier());
}

std::shared_ptr<HVTheme> HVThemeRepository::duplicateTheme(const HVTheme& theme) {
    loadThemesIfNeeded();
    auto duplicate = theme.copy();
    // Setting the title also marks the copy modified, so that commit writes its file.
    duplicate->setTitle(
        HVLocalization::format(HVLocalization::localizedString("%@ copy"), {theme.title()}));
    m_themes.push_back(duplicate);
    return duplicate;
}

bool HVThemeRepository::commit(HVError* error) {
    for (const auto& theme : themes()) {
        if (!theme->commit(error))
            return false;
    }
    return true;
}

bool HVThemeRepository::modified() {
    const auto& list = themes();
    return std::any_of(list.begin(), list.end(),
                       [](const auto& theme) { return theme->modified(); });
}

const std::set<std::string>& HVThemeRepository::hiddenThemes() {
    loadThemesIfNeeded();
    return m_hiddenThemes;
}

const std::vector<HVError>& HVThemeRepository::loadErrors() {
    loadThemesIfNeeded();
    return m_loadErrors;
}
