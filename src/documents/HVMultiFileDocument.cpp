#include "HVMultiFileDocument.h"

#include "HVFileDocument.h"
#include "HVMultiFileWindowController.h"

HVMultiFileDocument::HVMultiFileDocument()
    : m_windowController(std::make_unique<HVMultiFileWindowController>(this)) {}

HVMultiFileDocument::~HVMultiFileDocument() = default;

std::shared_ptr<HVMultiFileDocument>
HVMultiFileDocument::initWithContentsOfFile(const std::string& path, HVError* error) {
    auto document = std::make_shared<HVMultiFileDocument>();
    HVError failure;
    if (!document->m_windowController->openFileAtPath(path, &failure)) {
        HVSetError(error, failure);
        return nullptr;
    }
    return document;
}

void HVMultiFileDocument::makeWindowControllers() {
    if (m_madeWindow)
        return;
    m_madeWindow = true;
    if (m_windowController->openDocuments().empty())
        m_windowController->untitledDocument();
}

HVFileDocument* HVMultiFileDocument::activeDocument() {
    return m_windowController->activeDocument();
}

HVFileDocument* HVMultiFileDocument::openFileAtPath(const std::string& path, HVError* error) {
    return m_windowController->openFileAtPath(path, error);
}

HVFileDocument* HVMultiFileDocument::documentForPath(const std::string& path) {
    return m_windowController->documentForPath(path);
}

HVFileDocument* HVMultiFileDocument::untitledDocument() {
    return m_windowController->untitledDocument();
}

std::vector<HVFileDocument*> HVMultiFileDocument::openDocuments() const {
    std::vector<HVFileDocument*> documents;
    for (const auto& document : m_windowController->openDocuments())
        documents.push_back(document.get());
    return documents;
}

void HVMultiFileDocument::activateDocument(HVFileDocument* document) {
    m_windowController->activateDocument(document);
}

std::string HVMultiFileDocument::windowTitle() {
    HVFileDocument* active = activeDocument();
    return active ? active->displayName() : displayName();
}

bool HVMultiFileDocument::isDocumentEdited() const {
    if (HVDocument::isDocumentEdited())
        return true;
    return !m_windowController->editedDocuments().empty();
}

void HVMultiFileDocument::canClose(std::function<void(bool)> completion) {
    m_windowController->closeOpenFiles(std::move(completion));
}

void HVMultiFileDocument::close() {
    if (isClosed())
        return;
    // Each tab is told it closes (it posts its own notification) before the window goes.
    while (!m_windowController->openDocuments().empty())
        m_windowController->closeDocument(m_windowController->openDocuments().back().get());
    HVDocument::close();
}
