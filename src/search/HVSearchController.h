#pragma once

#include "HVNotificationCenter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class HVSearch;

// Posted with the new search string under HVSearchStringKey in the user info (a UTF-8 string).
inline constexpr std::string_view HVSetSearchStringNotification = "HVSetSearchString";
inline constexpr std::string_view HVSearchStringKey = "HVSearchString";
// Posted by an editor that goes away, with the editor as the object; the find panel then
// turns to another editor.
inline constexpr std::string_view HVTextViewIsClosingNotification = "HVTextViewIsClosing";

// The find panel's model, one for the program: what to search for and replace with, as a
// literal or a regular expression ("HVDoGrepKey"), with or without case ("HVDoMatchCaseKey"),
// whether that is valid, the status line, and the history of searches and replacements kept in
// the preferences. Posting "HVSetSearchString" with a string makes it the search string.
class HVSearchController {
public:
    static HVSearchController& sharedFind();

    const std::u16string& searchString() const { return m_searchString; }
    void setSearchString(std::u16string string);
    const std::u16string& replaceString() const { return m_replaceString; }
    void setReplaceString(std::u16string string);
    bool regularExpression() const { return m_regularExpression; }
    void setRegularExpression(bool regularExpression);
    bool matchCase() const { return m_matchCase; }
    void setMatchCase(bool matchCase);

    // A new search from the fields; none when they are not valid.
    std::unique_ptr<HVSearch> search() const;
    // Takes the fields from a search.
    void setSearch(const HVSearch& search);
    // Valid when the search string is not empty and, as a regular expression, compiles;
    // otherwise the status says why.
    bool validate();
    bool valid() const { return m_valid; }
    // What the panel shows under the fields: "Not found", "Replaced 3", "Invalid search
    // regular expression", or nothing; the detail holds the expression's own error and the
    // offset where it failed.
    const std::string& status() const { return m_status; }
    const std::string& statusDetail() const { return m_statusDetail; }
    void setStatus(std::string status, std::string detail = {});

    // Puts the search string first in "HVSearchHistory" and the replace string first in
    // "HVReplaceHistory".
    void rememberSearch();
    void remember(std::u16string_view value, std::string_view key);
    std::vector<std::u16string> history(std::string_view key) const;

    // Linux has no shared find clipboard: the program keeps its own. Reading it (when the
    // program becomes active or the panel is made) takes a non-empty string that differs from
    // the one read last as the search string, with regular expressions off.
    const std::u16string& findPasteboardString() const { return m_findPasteboard; }
    void setFindPasteboardString(std::u16string string);
    bool readFindPasteboard();

    // Observers of any change of the fields or the status (the panel redraws).
    using ObserverToken = std::uint64_t;
    ObserverToken addObserver(std::function<void()> observer);
    void removeObserver(ObserverToken token);

private:
    HVSearchController();
    // A string becomes the search string, taken literally.
    void takeSearchString(std::u16string string);
    void changed();

    std::u16string m_searchString;
    std::u16string m_replaceString;
    bool m_regularExpression = false;
    bool m_matchCase = false;
    bool m_valid = false;
    std::string m_status;
    std::string m_statusDetail;
    std::u16string m_findPasteboard;
    std::u16string m_lastReadPasteboard;
    std::map<ObserverToken, std::function<void()>> m_observers;
    ObserverToken m_nextObserver = 1;
    HVScopedObserver m_setSearchStringObserver;
};
