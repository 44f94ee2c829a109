#include "HVFileListingAction.h"

#include "HVFileSystem.h"
#include "HVRemoteListingParser.h"

HVFileListingAction::HVFileListingAction(std::shared_ptr<HVRemoteFilesConnection> connection,
                                         std::string path)
    : HVRemoteFileAction(std::move(connection)) {
    m_remotePath = std::move(path);
}

void HVFileListingAction::start() {
    std::string path = m_remotePath;
    if (path.empty() && protocol() == HVRemoteProtocol::SFTP)
        path = ".";
    std::vector<std::string> arguments;
    if (protocol() == HVRemoteProtocol::SFTP)
        arguments.push_back("-la");
    if (!path.empty()) {
        auto argument = quoted(path, HVRemoteArgument::GlobbedRemotePath);
        if (!argument)
            return;
        arguments.push_back(*argument);
    }
    typeCommand("ls", arguments);
}

void HVFileListingAction::handleReply(const std::vector<std::string>& lines, bool) {
    int code = 0;
    switch (protocol()) {
    case HVRemoteProtocol::FTP:
        code = statusCode(lines, true);
        if (code != 226)
            return fail(code, failingLines(lines));
        break;
    case HVRemoteProtocol::SFTP: {
        // Entry lines are data: a name may read like a failure.
        std::vector<std::string> messages;
        for (const std::string& line : lines)
            if (HVRemoteListingParser::ftpFormatOfLine(line) != HVRemoteListingParser::Format::Unix)
                messages.push_back(line);
        auto errors = errorLines(messages, lastTyped());
        if (!errors.empty()) {
            std::string reason;
            for (const std::string& line : errors)
                reason += (reason.empty() ? "" : "\n") + line;
            return fail(0, reason);
        }
        break;
    }
    case HVRemoteProtocol::WebDAV:
        code = statusCode(lines, true);
        if (statusCodeIsError(code))
            return fail(code, failingLines(lines));
        break;
    }
    HVError parseError;
    m_files = HVRemoteListingParser::parse(lines, protocol(), m_remotePath, &parseError);
    if (!parseError.description().empty())
        return fail(0, parseError.description() + ". " + parseError.recoverySuggestion());
    finish(true, code);
}

std::string HVFileListingAction::errorDescription() const {
    return "Could Not Retrieve File Listing";
}

std::string HVFileListingAction::errorSuggestion(int) const {
    return "Halvet could not retrieve the file listing for directory \"" +
           HVFileSystem::lastPathComponent(m_remotePath) +
           "\". The directory may not exist, you may not have permission to access it, or "
           "Halvet failed to parse the listing.";
}
