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
    // Opens the file's tab at once, so that a file that cannot be read makes no window.
    static std::shared_ptr<HVMultiFileDocument> initWithContentsOfFile(const std::string& path,
                                                                       HVError* error);

    HVMultiFileWindowController& windowController() { return *m_windowController; }

    void makeWindowControllers() override;
    bool isMultiFile() const override { return true; }
    HVFileDocument* activeDocument() override;
    HVFileDocument* openFileAtPath(const std::string& path, HVError* error) override;
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
    bool m_madeWindow = false;
};
