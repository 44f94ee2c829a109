#include "HVScriptedUserInterface.h"

std::shared_ptr<HVScriptedUserInterface> HVScriptedUserInterface::install() {
    auto ui = std::make_shared<HVScriptedUserInterface>();
    HVUserInterface::setShared(ui);
    return ui;
}

HVScriptedUserInterface::~HVScriptedUserInterface() = default;

std::string HVScriptedUserInterface::presentedErrorSummary() const {
    std::string summary;
    for (const auto& error : presentedErrors)
        summary +=
            error.domain() + " " + std::to_string(error.code()) + ": " + error.description() + "\n";
    return summary;
}

void HVScriptedUserInterface::presentError(const HVError& error, const void*,
                                           std::function<void(std::size_t)> completion) {
    presentedErrors.push_back(error);
    std::size_t answer = 0;
    if (!alertAnswers.empty()) {
        answer = alertAnswers.front();
        alertAnswers.pop_front();
    }
    if (completion)
        completion(answer);
}

void HVScriptedUserInterface::runOpenPanel(
    const OpenPanelOptions&, const void*,
    std::function<void(std::vector<std::string>)> completion) {
    std::vector<std::string> answer;
    if (!openPanelAnswers.empty()) {
        answer = openPanelAnswers.front();
        openPanelAnswers.pop_front();
    }
    if (completion)
        completion(answer);
}

void HVScriptedUserInterface::runSavePanel(
    const SavePanelOptions&, const void*,
    std::function<void(std::optional<std::string>)> completion) {
    ++savePanels;
    std::optional<std::string> answer;
    if (!savePanelAnswers.empty()) {
        answer = savePanelAnswers.front();
        savePanelAnswers.pop_front();
    }
    if (completion)
        completion(answer);
}

void HVScriptedUserInterface::reviewUnsavedDocuments(
    const std::vector<std::string>& titles, const void*,
    std::function<void(int, std::vector<std::size_t>)> completion) {
    reviewedTitles.push_back(titles);
    Review answer{3, {}};
    if (!reviewAnswers.empty()) {
        answer = reviewAnswers.front();
        reviewAnswers.pop_front();
    }
    if (completion)
        completion(answer.result, answer.selected);
}
