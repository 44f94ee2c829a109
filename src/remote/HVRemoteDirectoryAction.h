#pragma once

#include "HVRemoteFileAction.h"

// An action made of steps, each an action of its own run over the same connection with this
// one as its delegate. Steps run one after another (a step that fails before typing does not
// nest the next one on the stack); the connection is taken back after each.
// A failed step is remembered: the whole action then fails with the steps' reasons, since a
// silently partial transfer is worse than a reported one.
class HVRemoteDirectoryAction : public HVRemoteFileAction, public HVRemoteFileActionDelegate {
public:
    using HVRemoteFileAction::HVRemoteFileAction;

    HVRemoteFileAction& activeAction() override;
    void actionFinished(HVRemoteFileAction& action, bool success, int statusCode) override;
    // The steps that failed so far, in order.
    std::size_t failedSteps() const { return m_failedSteps; }

protected:
    // Directory actions never type themselves.
    void handleReply(const std::vector<std::string>&, bool) override {}
    void runStep(std::shared_ptr<HVRemoteFileAction> step);
    virtual void stepFinished(HVRemoteFileAction& step, bool success, int statusCode) = 0;
    // Remembers a failed step (or a skipped entry) with its reason.
    void noteFailure(int statusCode, const std::string& reason);
    // Success unless a step failed.
    void finishSteps(int lastStatusCode);
    void resetProgress() override;

private:
    std::shared_ptr<HVRemoteFileAction> m_current;
    std::shared_ptr<HVRemoteFileAction> m_pending;
    bool m_running = false;
    std::size_t m_failedSteps = 0;
    int m_firstFailureCode = 0;
    std::string m_failureReasons;
};
