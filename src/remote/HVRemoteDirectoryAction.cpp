#include "HVRemoteDirectoryAction.h"

HVRemoteFileAction& HVRemoteDirectoryAction::activeAction() {
    if (m_current && !m_current->hasFinished())
        return m_current->activeAction();
    return *this;
}

void HVRemoteDirectoryAction::runStep(std::shared_ptr<HVRemoteFileAction> step) {
    if (m_running) {
        m_pending = std::move(step);
        return;
    }
    m_running = true;
    auto self = std::static_pointer_cast<HVRemoteDirectoryAction>(shared_from_this());
    while (step && !hasFinished()) {
        m_current = step;
        inheritSink(*step);
        step->run(std::weak_ptr<HVRemoteFileActionDelegate>(self));
        step = std::move(m_pending);
    }
    m_running = false;
}

void HVRemoteDirectoryAction::actionFinished(HVRemoteFileAction& action, bool success,
                                             int statusCode) {
    if (hasFinished())
        return;
    takeConnection();
    stepFinished(action, success, statusCode);
}

void HVRemoteDirectoryAction::resetProgress() {
    m_current.reset();
    m_pending.reset();
    m_failedSteps = 0;
    m_firstFailureCode = 0;
    m_failureReasons.clear();
}

void HVRemoteDirectoryAction::noteFailure(int statusCode, const std::string& reason) {
    if (m_failedSteps++ == 0)
        m_firstFailureCode = statusCode;
    // Enough to tell what went wrong without growing without bound.
    if (m_failedSteps <= 20) {
        if (!m_failureReasons.empty())
            m_failureReasons += '\n';
        m_failureReasons += reason;
    }
}

void HVRemoteDirectoryAction::finishSteps(int lastStatusCode) {
    if (m_failedSteps == 0)
        return finish(true, lastStatusCode);
    std::string reason = std::to_string(m_failedSteps) + " step(s) failed:\n" + m_failureReasons;
    fail(m_firstFailureCode, reason);
}
