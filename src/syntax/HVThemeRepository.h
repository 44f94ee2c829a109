#pragma once

#include "HVError.h"

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class HVTheme;

// Every theme the user can choose: the user's theme files first, then the shipped ones, one
// theme per identifier, sorted by title. Remembers the current theme ("HVCurrentThemeID") and
// the themes the user deleted ("HVHiddenThemes"; their files stay).
//
// Used on the main thread. Themes are shared with the parsers that colour with them, so a
// removed theme stays valid for as long as a parser holds it.
class HVThemeRepository {
public:
    // An empty repository that loads on first use; tests make their own.
    HVThemeRepository();
    ~HVThemeRepository();
    HVThemeRepository(const HVThemeRepository&) = delete;
    HVThemeRepository& operator=(const HVThemeRepository&) = delete;

    static HVThemeRepository& sharedRepository();

    // Each of these loads the themes first when they are not loaded.
    const std::vector<std::shared_ptr<HVTheme>>& themes();
    std::size_t countOfThemes();
    // None beyond the end.
    std::shared_ptr<HVTheme> objectInThemesAtIndex(std::size_t index);
    // Inserts at the index (at the end when beyond it).
    void insertObject(std::shared_ptr<HVTheme> theme, std::size_t index);
    // Hides the theme for good and removes it from the list; when it was current, the last
    // theme of the list becomes current.
    void removeObjectFromThemesAtIndex(std::size_t index);
    // The theme with that identifier in the list, or none.
    std::shared_ptr<HVTheme> themeWithIdentifier(std::string_view identifier);

    std::shared_ptr<HVTheme> currentTheme();
    // Stores the theme's identifier under "HVCurrentThemeID".
    void setCurrentTheme(std::shared_ptr<HVTheme> theme);

    // Appends a copy titled "<title> copy", with a fresh identifier; it is written on the next
    // commit.
    std::shared_ptr<HVTheme> duplicateTheme(const HVTheme& theme);

    // Commits the themes in list order, stopping at the first failure.
    bool commit(HVError* error = nullptr);
    // Whether any theme has unsaved changes.
    bool modified();

    const std::set<std::string>& hiddenThemes();
    // Theme files that could not be read at the last load (they are listed untitled).
    const std::vector<HVError>& loadErrors();

    // Forgets the list, so that the next use reads the files and preferences again.
    void reset();

private:
    void loadThemesIfNeeded();
    void loadThemes();

    bool m_loaded = false;
    std::vector<std::shared_ptr<HVTheme>> m_themes;
    std::shared_ptr<HVTheme> m_currentTheme;
    std::set<std::string> m_hiddenThemes;
    std::vector<HVError> m_loadErrors;
};
