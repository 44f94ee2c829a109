#pragma once

#include "HVMultiFileDocument.h"

#include <memory>
#include <string>

class HVProject;
class HVProjectWindowController;

// The document of an open project: a tabbed window of the project's files beside its file
// tree. Opening a folder or a ".hvproj" file makes one; closing it closes the project.
class HVProjectDocument : public HVMultiFileDocument {
public:
    // The project of a folder or project file, from the registry (made when new).
    static std::shared_ptr<HVProjectDocument> initWithContentsOfFile(const std::string& path,
                                                                     HVError* error);
    explicit HVProjectDocument(std::shared_ptr<HVProject> project);
    ~HVProjectDocument() override;

    const std::shared_ptr<HVProject>& project() const { return m_project; }
    HVProjectWindowController& projectWindowController();

    HVDocument* projectDocument() override { return this; }
    // A path at or below the project's root.
    bool canOpenFile(const std::string& path) const override;
    void makeWindowControllers() override;
    void close() override;

private:
    std::shared_ptr<HVProject> m_project;
};
