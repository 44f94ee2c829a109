#include "HVSearchController.h"

#include "HVPreferences.h"
#include "HVRegex.h"
#include "HVSearch.h"
#include "HVUnicode.h"

#include <algorithm>

namespace {

constexpr std::string_view kGrepKey = "HVDoGrepKey";
constexpr std::string_view kMatchCaseKey = "HVDoMatchCaseKey";
constexpr std::string_view kSearchHistoryKey = "HVSearchHistory";
constexpr std::string_view kReplaceHistoryKey = "HVReplaceHistory";
constexpr std::size_t kHistoryLength = 10;
constexpr std::string_view kInvalidExpression = "Invalid search regular expression";

// The options the panel's expressions are compiled with: multi-line, and caseless unless
// matching case, so that the reason given is the one the search itself would meet.
std::uint32_t expressionOptions(bool matchCase) {
    return matchCase ? HVRegexMultiline : HVRegexMultiline | HVRegexCaseless;
}

} // namespace

HVSearchController& HVSearchController::sharedFind() {
    static HVSearchController controller;
    return controller;
}

HVSearchController::HVSearchController() {
    auto& preferences = HVPreferences::sharedInstance();
    m_regularExpression = preferences.boolForKey(kGrepKey).value_or(false);
    m_matchCase = preferences.boolForKey(kMatchCaseKey).value_or(false);
    auto& center = HVNotificationCenter::defaultCenter();
    m_setSearchStringObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVSetSearchStringNotification), nullptr,
                                   [this](const HVNotification& notification) {
                                       auto found = notification.userInfo.find(HVSearchStringKey);
                                       if (found == notification.userInfo.end())
                                           return;
                                       if (const std::string* string = found->second.string())
                                           takeSearchString(HVUnicode::utf16(*string));
                                   }));
}

void HVSearchController::setSearchString(std::u16string string) {
    m_searchString = std::move(string);
    validate();
}

void HVSearchController::setReplaceString(std::u16string string) {
    m_replaceString = std::move(string);
    validate();
}

void HVSearchController::setRegularExpression(bool regularExpression) {
    m_regularExpression = regularExpression;
    HVPreferences::sharedInstance().setObject(kGrepKey, regularExpression);
    validate();
}

void HVSearchController::setMatchCase(bool matchCase) {
    m_matchCase = matchCase;
    HVPreferences::sharedInstance().setObject(kMatchCaseKey, matchCase);
    validate();
}

void HVSearchController::takeSearchString(std::u16string string) {
    m_searchString = std::move(string);
    if (m_regularExpression)
        setRegularExpression(false);
    else
        validate();
}

std::unique_ptr<HVSearch> HVSearchController::search() const {
    if (m_searchString.empty())
        return nullptr;
    std::unique_ptr<HVSearch> search;
    if (m_regularExpression) {
        search = HVSearch::initWithExpressionString(m_searchString, m_matchCase);
        if (!search)
            return nullptr;
    } else {
        search = HVSearch::initWithSearchString(m_searchString);
        search->setCaseSensitive(m_matchCase);
    }
    search->setReplaceString(m_replaceString);
    return search;
}

void HVSearchController::setSearch(const HVSearch& search) {
    m_regularExpression = search.isRegularExpression();
    m_matchCase = search.caseSensitive();
    auto& preferences = HVPreferences::sharedInstance();
    preferences.setObject(kGrepKey, m_regularExpression);
    preferences.setObject(kMatchCaseKey, m_matchCase);
    m_searchString = search.searchString();
    m_replaceString = search.replaceString().value_or(std::u16string());
    validate();
}

bool HVSearchController::validate() {
    m_valid = !m_searchString.empty();
    std::string reason;
    if (m_valid && m_regularExpression)
        reason = HVRegex::errorForPattern(m_searchString, expressionOptions(m_matchCase));
    if (!reason.empty()) {
        m_valid = false;
        m_status = kInvalidExpression;
        m_statusDetail = std::move(reason);
    } else if (m_status == kInvalidExpression) {
        m_status.clear();
        m_statusDetail.clear();
    }
    changed();
    return m_valid;
}

void HVSearchController::setStatus(std::string status, std::string detail) {
    m_status = std::move(status);
    m_statusDetail = std::move(detail);
    changed();
}

void HVSearchController::rememberSearch() {
    remember(m_searchString, kSearchHistoryKey);
    remember(m_replaceString, kReplaceHistoryKey);
}

void HVSearchController::remember(std::u16string_view value, std::string_view key) {
    std::string entry = HVUnicode::utf8(value);
    HVPlistValue::Array list{HVPlistValue(entry)};
    if (auto old = HVPreferences::sharedInstance().arrayForKey(key)) {
        for (HVPlistValue& item : *old) {
            const std::string* string = item.string();
            if (list.size() == kHistoryLength)
                break;
            if (string && *string != entry)
                list.push_back(std::move(item));
        }
    }
    HVPreferences::sharedInstance().setObject(key, std::move(list));
    changed();
}

std::vector<std::u16string> HVSearchController::history(std::string_view key) const {
    std::vector<std::u16string> entries;
    if (auto list = HVPreferences::sharedInstance().arrayForKey(key)) {
        for (const HVPlistValue& item : *list)
            if (const std::string* string = item.string())
                entries.push_back(HVUnicode::utf16(*string));
    }
    return entries;
}

void HVSearchController::setFindPasteboardString(std::u16string string) {
    m_findPasteboard = std::move(string);
}

bool HVSearchController::readFindPasteboard() {
    if (m_findPasteboard.empty() || m_findPasteboard == m_lastReadPasteboard)
        return false;
    m_lastReadPasteboard = m_findPasteboard;
    takeSearchString(m_findPasteboard);
    return true;
}

HVSearchController::ObserverToken HVSearchController::addObserver(std::function<void()> observer) {
    ObserverToken token = m_nextObserver++;
    m_observers.emplace(token, std::move(observer));
    return token;
}

void HVSearchController::removeObserver(ObserverToken token) {
    m_observers.erase(token);
}

void HVSearchController::changed() {
    // A copy, so that an observer may remove itself.
    auto observers = m_observers;
    for (auto& [token, observer] : observers)
        if (m_observers.count(token))
            observer();
}
