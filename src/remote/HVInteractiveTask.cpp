#include "HVInteractiveTask.h"

#include "HVPseudoTerminal.h"

HVInteractiveTask::HVInteractiveTask(std::string executablePath) {
    const auto delegate = [this] {
        std::lock_guard lock(m_delegateMutex);
        return m_delegate.lock();
    };
    HVPseudoTerminal::Hooks hooks;
    hooks.finishedCommand = [this, delegate](const std::vector<std::string>& lines, bool hadError) {
        if (const auto d = delegate())
            d->finishedCommand(*this, lines, hadError);
    };
    hooks.expectsInput = [this, delegate] {
        const auto d = delegate();
        return d && d->shouldExpectInput(*this);
    };
    m_terminal = std::make_unique<HVPseudoTerminal>(std::move(hooks));
    m_terminal->settings().program = std::move(executablePath);
}

HVInteractiveTask::~HVInteractiveTask() {
    {
        std::lock_guard lock(m_delegateMutex);
        m_delegate.reset();
    }
    m_terminal.reset();
}

void HVInteractiveTask::setArguments(std::vector<std::string> arguments) {
    m_terminal->settings().arguments = std::move(arguments);
}

void HVInteractiveTask::setPrompt(std::optional<std::string> prompt) {
    m_terminal->settings().prompt = std::move(prompt);
}

void HVInteractiveTask::setWorkingDirectory(std::string directory) {
    m_terminal->settings().workingDirectory = std::move(directory);
}

void HVInteractiveTask::setEnvironment(std::vector<std::string> entries) {
    m_terminal->settings().environment = std::move(entries);
}

void HVInteractiveTask::setDelegate(std::weak_ptr<HVInteractiveTaskDelegate> delegate) {
    std::lock_guard lock(m_delegateMutex);
    m_delegate = std::move(delegate);
}

void HVInteractiveTask::clearDelegate(const HVInteractiveTaskDelegate* delegate) {
    std::lock_guard lock(m_delegateMutex);
    if (m_delegate.lock().get() == delegate)
        m_delegate.reset();
}

bool HVInteractiveTask::launch(HVError* error) {
    return m_terminal->launch(m_terminal->settings(), error);
}

bool HVInteractiveTask::writeCommand(std::string_view command) {
    m_terminal->writeCommand(command, false);
    return true;
}

void HVInteractiveTask::cancel() {
    m_terminal->cancel();
}

void HVInteractiveTask::kill() {
    m_terminal->kill();
}

pid_t HVInteractiveTask::pid() const {
    return m_terminal->pid();
}

bool HVInteractiveTask::waitUntilExit(double seconds) {
    return m_terminal->waitUntilExit(seconds);
}

std::optional<int> HVInteractiveTask::exitStatus() const {
    return m_terminal->exitStatus();
}
