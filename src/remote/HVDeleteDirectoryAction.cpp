#include "HVDeleteDirectoryAction.h"

#include "HVFileCommandAction.h"
#include "HVFileListingAction.h"
#include "HVFileSystem.h"

namespace {

// The last step: rmdir, or rmcol for WebDAV.
class HVRemoveDirectoryStep : public HVFileCommandAction {
public:
    using HVFileCommandAction::HVFileCommandAction;

protected:
    bool makeCommand(std::string& verb, std::vector<std::string>& arguments) override {
        auto path = quoted(remotePath(), HVRemoteArgument::RemotePath);
        if (!path)
            return false;
        verb = protocol() == HVRemoteProtocol::WebDAV ? "rmcol" : "rmdir";
        arguments = {*path};
        return true;
    }
};

} // namespace

HVDeleteDirectoryAction::HVDeleteDirectoryAction(
    std::shared_ptr<HVRemoteFilesConnection> connection, std::string remotePath)
    : HVRemoteDirectoryAction(std::move(connection)) {
    m_remotePath = std::move(remotePath);
}

void HVDeleteDirectoryAction::resetProgress() {
    HVRemoteDirectoryAction::resetProgress();
    m_listed = false;
    m_removing = false;
    m_entries.clear();
    m_next = 0;
}

void HVDeleteDirectoryAction::start() {
    if (m_remotePath.empty() || m_remotePath == "/" || m_remotePath == "." || m_remotePath == "..")
        return fail(0, "Refusing to delete the directory \"" + m_remotePath + "\".");
    runStep(std::make_shared<HVFileListingAction>(connection(), m_remotePath));
}

void HVDeleteDirectoryAction::stepFinished(HVRemoteFileAction& step, bool success, int statusCode) {
    if (!m_listed) {
        m_listed = true;
        if (!success)
            return fail(statusCode, step.reason());
        m_entries = static_cast<HVFileListingAction&>(step).files();
        return deleteNext();
    }
    if (m_removing) {
        if (!success) {
            noteFailure(statusCode, step.reason());
            return finishSteps(statusCode);
        }
        return finish(true, statusCode);
    }
    if (!success)
        noteFailure(statusCode, step.reason());
    deleteNext();
}

void HVDeleteDirectoryAction::deleteNext() {
    if (m_next < m_entries.size()) {
        const HVRemoteFile& file = m_entries[m_next++];
        if (file.isDirectory)
            return runStep(std::make_shared<HVDeleteDirectoryAction>(connection(), file.path));
        return runStep(std::make_shared<HVDeleteFileAction>(connection(), file.path));
    }
    m_removing = true;
    runStep(std::make_shared<HVRemoveDirectoryStep>(connection(), m_remotePath));
}

std::string HVDeleteDirectoryAction::errorDescription() const {
    return "Could Not Delete Directory";
}

std::string HVDeleteDirectoryAction::errorSuggestion(int) const {
    return "The directory \"" + HVFileSystem::lastPathComponent(m_remotePath) +
           "\" could not be deleted. It may not exist or you may not have permission to delete "
           "the directory.";
}
