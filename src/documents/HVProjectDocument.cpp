#include "HVProjectDocument.h"

#include "HVCodeIndex.h"
#include "HVFileSystem.h"
#include "HVLocalization.h"
#include "HVProject.h"
#include "HVProjectRepository.h"
#include "HVProjectWindowController.h"
#include "HVRootFile.h"

std::shared_ptr<HVProjectDocument>
HVProjectDocument::initWithContentsOfFile(const std::string& path, HVError* error) {
    auto project = HVProjectRepository::sharedInstance().copyProjectWithPath(path);
    if (!project || project->rootDirectory().empty()) {
        HVError failure(
            HVPlatformErrorDomain, ENOENT,
            HVLocalization::localizedString("Unable to load project"),
            HVLocalization::localizedString("Check the project directory and configuration"));
        failure.setUserInfoValue(HVFilePathErrorKey, path);
        HVSetError(error, failure);
        return nullptr;
    }
    return std::make_shared<HVProjectDocument>(std::move(project));
}

HVProjectDocument::HVProjectDocument(std::shared_ptr<HVProject> project)
    : m_project(std::move(project)) {
    m_project->setIsOpen(true);
    setFileName(m_project->rootDirectory());
    HVCodeIndex::sharedIndex().indexDirectory(m_project->rootDirectory());
    m_windowController = std::make_unique<HVProjectWindowController>(this, m_project);
}

HVProjectDocument::~HVProjectDocument() {
    // The controller lets go of the project's delegate before the project closes.
    m_windowController.reset();
    if (m_project->isOpen())
        m_project->close();
}

HVProjectWindowController& HVProjectDocument::projectWindowController() {
    return static_cast<HVProjectWindowController&>(*m_windowController);
}

bool HVProjectDocument::canOpenFile(const std::string& path) const {
    const std::string& root = m_project->rootDirectory();
    std::string standard = HVFileSystem::standardizingPath(path);
    return standard == root ||
           (standard.size() > root.size() && standard.compare(0, root.size(), root) == 0 &&
            standard[root.size()] == '/');
}

void HVProjectDocument::makeWindowControllers() {
    // A project window starts with its tree and no untitled tab.
    projectWindowController().windowDidOpen();
}

void HVProjectDocument::close() {
    if (isClosed())
        return;
    HVMultiFileDocument::close();
    m_project->commit(true);
    m_project->close();
}
