#pragma once

#include "HVUserInterface.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Answers the program's questions from a script and keeps every question it was asked.
// Installed as the shared interface for the life of the object.
class HVScriptedUserInterface : public HVUserInterface {
public:
    static std::shared_ptr<HVScriptedUserInterface> install();
    ~HVScriptedUserInterface() override;

    // Queued answers, used in order; without one an alert takes its first option, a panel is
    // cancelled and a review cancels.
    std::deque<std::size_t> alertAnswers;
    std::deque<std::optional<std::string>> savePanelAnswers;
    std::deque<std::vector<std::string>> openPanelAnswers;
    struct Review {
        int result;
        std::vector<std::size_t> selected;
    };
    std::deque<Review> reviewAnswers;

    // What was asked.
    std::vector<HVError> presentedErrors;
    std::vector<std::vector<std::string>> reviewedTitles;
    int savePanels = 0;
    int beeps = 0;

    // "domain code: description" of every presented error, one per line.
    std::string presentedErrorSummary() const;

    void presentError(const HVError& error, const void* context,
                      std::function<void(std::size_t option)> completion) override;
    void runOpenPanel(const OpenPanelOptions& options, const void* context,
                      std::function<void(std::vector<std::string> paths)> completion) override;
    void runSavePanel(const SavePanelOptions& options, const void* context,
                      std::function<void(std::optional<std::string> path)> completion) override;
    void reviewUnsavedDocuments(
        const std::vector<std::string>& titles, const void* context,
        std::function<void(int result, std::vector<std::size_t> selected)> completion) override;
    void beep() override { ++beeps; }
};
