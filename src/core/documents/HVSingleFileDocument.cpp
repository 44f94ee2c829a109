#include "HVSingleFileDocument.h"

#include "HVFile.h"
#include "HVFileSystem.h"

HVSingleFileWindowController::HVSingleFileWindowController(HVSingleFileDocument* document)
    : m_document(document) {}

void HVSingleFileWindowController::documentShouldForceClose(HVFileDocument* document) {
    document->close();
}

HVSingleFileDocument::HVSingleFileDocument()
    : HVFileDocument(nullptr, nullptr),
      m_windowController(std::make_unique<HVSingleFileWindowController>(this)) {
    setDelegate(m_windowController.get());
}

std::shared_ptr<HVSingleFileDocument>
HVSingleFileDocument::initWithContentsOfFile(const std::string& path, HVError* error) {
    if (!HVFileSystem::isRegularFile(path)) {
        // Read it all the same for the error record that names the path and the reason.
        if (!HVFileSystem::readFile(path, error))
            return nullptr;
    }
    auto document = std::make_shared<HVSingleFileDocument>();
    document->setFileName(path);
    return document;
}

void HVSingleFileDocument::makeWindowControllers() {
    viewWithSuggestedFrame();
}
