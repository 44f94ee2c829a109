#include "HVCommandAction.h"

HVCommandAction::HVCommandAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                 std::string command, bool isFatal)
    : HVRemoteFileAction(std::move(connection)), m_command(std::move(command)), m_isFatal(isFatal) {
}

void HVCommandAction::start() {
    if (!type(m_command))
        fail(0, "The client did not accept the command.");
}

void HVCommandAction::handleReply(const std::vector<std::string>& lines, bool) {
    int code = statusCode(lines, false);
    if (statusCodeIsError(code))
        return fail(code, failingLines(lines));
    finish(true, code);
}
