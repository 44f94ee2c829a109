#include "HVSearchController.h"

#include "HVSearch.h"

HVSearchController& HVSearchController::sharedFind() {
    static HVSearchController controller;
    return controller;
}

HVSearchController::HVSearchController() = default;

void HVSearchController::setSearchString(std::u16string string) {
    m_searchString = std::move(string);
}
void HVSearchController::setReplaceString(std::u16string string) {
    m_replaceString = std::move(string);
}
void HVSearchController::setRegularExpression(bool regularExpression) {
    m_regularExpression = regularExpression;
}
void HVSearchController::setMatchCase(bool matchCase) {
    m_matchCase = matchCase;
}
std::unique_ptr<HVSearch> HVSearchController::search() const {
    return nullptr;
}
void HVSearchController::setSearch(const HVSearch& search) {
    (void)search;
}
bool HVSearchController::validate() {
    return m_valid;
}
void HVSearchController::setStatus(std::string status, std::string detail) {
    m_status = std::move(status);
    m_statusDetail = std::move(detail);
}
void HVSearchController::rememberSearch() {}
void HVSearchController::remember(std::u16string_view value, std::string_view key) {
    (void)value, (void)key;
}
std::vector<std::u16string> HVSearchController::history(std::string_view key) const {
    (void)key;
    return {};
}
HVSearchController::ObserverToken HVSearchController::addObserver(std::function<void()> observer) {
    (void)observer;
    return 0;
}
void HVSearchController::removeObserver(ObserverToken token) {
    (void)token;
}
