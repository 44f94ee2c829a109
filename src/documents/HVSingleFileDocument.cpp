#include "HVSingleFileDocument.h"

#include "HVCodeIndex.h"

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
    auto document = std::make_shared<HVSingleFileDocument>();
    document->setFileName(path);
    // A file that cannot be read makes no document, so nothing is ever bound to its path.
    if (!document->readFileContents(error))
        return nullptr;
    return document;
}

void HVSingleFileDocument::makeWindowControllers() {
    viewWithSuggestedFrame();
    // A file opened on its own has no project to index it: its symbols, and those of what it
    // includes, come from here.
    HVCodeIndex::sharedIndex().indexFile(fileName());
}
