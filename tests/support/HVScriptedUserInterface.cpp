#include "HVScriptedUserInterface.h"

std::shared_ptr<HVScriptedUserInterface> HVScriptedUserInterface::install() {
    auto ui = std::make_shared<HVScriptedUserInterface>();
    HVUserInterface::setShared(ui);
    return ui;
}

HVScriptedUserInterface::~HVScriptedUserInterface() = default;

namespace {

// The next queued answer, or the default once the script has run out.
template <typename T> T nextAnswer(std::deque<T>& answers, T otherwise = T()) {
    if (answers.empty())
        return otherwise;
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

} // namespace

void HVScriptedUserInterface::presentError(const HVError& error, const void*,
                                           std::function<void(std::size_t)> completion) {
    presentedErrors.push_back(error);
    std::size_t answer = nextAnswer(alertAnswers);
    if (completion)
        completion(answer);
}

void HVScriptedUserInterface::runOpenPanel(
    const OpenPanelOptions&, const void*,
    std::function<void(std::vector<std::string>)> completion) {
    auto answer = nextAnswer(openPanelAnswers);
    if (completion)
        completion(answer);
}

void HVScriptedUserInterface::runSavePanel(
    const SavePanelOptions&, const void*,
    std::function<void(std::optional<std::string>)> completion) {
    ++savePanels;
    auto answer = nextAnswer(savePanelAnswers);
    if (completion)
        completion(answer);
}

void HVScriptedUserInterface::reviewUnsavedDocuments(
    const std::vector<std::string>& titles, const void*,
    std::function<void(int, std::vector<std::size_t>)> completion) {
    reviewedTitles.push_back(titles);
    Review answer = nextAnswer(reviewAnswers, Review{3, {}});
    if (completion)
        completion(answer.result, answer.selected);
}
