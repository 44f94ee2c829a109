#pragma once

#include "HVRemoteFileAction.h"

// Types one command as given (the caller has quoted it) and succeeds unless the first status
// code of the reply is an error.
class HVCommandAction : public HVRemoteFileAction {
public:
    HVCommandAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string command,
                    bool isFatal);
    bool failureIsFatal() const override { return m_isFatal; }
    const std::string& command() const { return m_command; }

protected:
    void start() override;
    void handleReply(const std::vector<std::string>& lines, bool atPrompt) override;

private:
    std::string m_command;
    bool m_isFatal;
};
