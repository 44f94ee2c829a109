#include "HVLayoutManager.h"

#include "HVPreferences.h"
#include "HVTextBuffer.h"

#include <algorithm>
#include <string>

namespace {

const HVColor kGrey{0.5, 0.5, 0.5, 1};

} // namespace

HVLayoutManager::HVLayoutManager() : m_invisiblesColor(kGrey) {
    m_showInvisibleCharacters =
        HVPreferences::sharedInstance().boolForKey(HVShowInvisiblesKey).value_or(false);
    reloadAttributes();
    auto& center = HVNotificationCenter::defaultCenter();
    m_prefsObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVEditorPrefsChangeNotification), nullptr,
                                   [this](const HVNotification&) { updateSIC(); }));
}

HVLayoutManager::~HVLayoutManager() = default;

void HVLayoutManager::setShowInvisibleCharacters(bool show) {
    if (show == m_showInvisibleCharacters)
        return;
    m_showInvisibleCharacters = show;
    reloadAttributes();
}

void HVLayoutManager::updateSIC() {
    m_showInvisibleCharacters =
        HVPreferences::sharedInstance().boolForKey(HVShowInvisiblesKey).value_or(false);
    reloadAttributes();
}

void HVLayoutManager::setInvisiblesColor(std::optional<HVColor> color) {
    m_invisiblesColor = color.value_or(kGrey);
    reloadAttributes();
}

void HVLayoutManager::reloadAttributes() {
    m_font = Defaults::defaultFont();
    // Copied first: an observer may remove itself.
    std::vector<std::function<void()>> observers;
    for (const auto& [token, observer] : m_observers)
        observers.push_back(observer);
    for (const auto& observer : observers)
        observer();
}

std::vector<HVInvisibleMark> HVLayoutManager::invisibleMarksInRange(const HVTextBuffer& text,
                                                                    HVRange range) const {
    std::vector<HVInvisibleMark> marks;
    if (!m_showInvisibleCharacters)
        return marks;
    std::size_t end = std::min(range.end(), text.length());
    for (std::size_t i = std::min(range.location, end); i < end; ++i) {
        switch (text.characterAtIndex(i)) {
        case u' ':
            marks.push_back({i, spaceCharacter});
            break;
        case u'\t':
            marks.push_back({i, tabCharacter});
            break;
        case u'\n':
            // The line feed of a CR LF pair is marked with its carriage return.
            if (i == 0 || text.characterAtIndex(i - 1) != u'\r')
                marks.push_back({i, newLineCharacter});
            break;
        case u'\r':
        case u'\u2028':
        case u'\u2029':
            marks.push_back({i, newLineCharacter});
            break;
        default:
            break;
        }
    }
    return marks;
}

HVLayoutManager::ObserverToken HVLayoutManager::addChangeObserver(std::function<void()> observer) {
    m_observers.emplace(m_nextObserver, std::move(observer));
    return m_nextObserver++;
}

void HVLayoutManager::removeChangeObserver(ObserverToken token) {
    m_observers.erase(token);
}
