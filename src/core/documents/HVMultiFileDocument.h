#pragma once

#include "HVDocument.h"

#include <memory>
#include <string>
#include <vector>

class HVMultiFileWindowController;

// A tabbed window holding any number of text file documents.
class HVMultiFileDocument : public HVDocument {
public:
    HVMultiFileDocument();
    ~HVMultiFileDocument() override;
    // Reading only records the path; the tab opens when the window is made.
    static std::shared_ptr<HVMultiFileDocument> initWithContentsOfFile(const std::string& path,
                                                                       HVError* error);

    HVMultiFileWindowController& windowController() { return *m_windowController; }
    const std::string& fileToOpen() const { return m_fileToOpen; }

    void makeWindowControllers() override;
    bool isMultiFile() const override { return true; }
    HVFileDocument* activeDocument() override;
    HVFileDocument* openFileAtPath(const std::string& path) override;
    HVFileDocument* documentForPath(const std::string& path) override;
    HVFileDocument* untitledDocument();
    std::vector<HVFileDocument*> openDocuments() const;
    void activateDocument(HVFileDocument* document);

    std::string windowTitle();
    bool isDocumentEdited() const override;
    void canClose(std::function<void(bool mayClose)> completion) override;
    void close() override;

protected:
    std::unique_ptr<HVMultiFileWindowController> m_windowController;

private:
    std::string m_fileToOpen;
    bool m_madeWindow = false;
};
