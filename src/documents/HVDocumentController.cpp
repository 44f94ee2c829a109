#include "HVDocumentController.h"

#include "Defaults.h"
#include "HVClipboard.h"
#include "HVCodeIndex.h"
#include "HVDispatcher.h"
#include "HVDocument.h"
#include "HVFileDocument.h"
#include "HVFileSystem.h"
#include "HVMultiFileDocument.h"
#include "HVPreferences.h"
#include "HVProjectDocument.h"
#include "HVSingleFileDocument.h"
#include "HVTextViewModel.h"
#include "HVUserInterface.h"

#include <algorithm>

namespace {

constexpr std::string_view kProjectDocumentType = "HVProject";

} // namespace

HVDocumentController::HVDocumentController() {
    // Before anything reads a preference.
    Defaults::resetDefaults();
}

HVDocumentController& HVDocumentController::sharedController() {
    static HVDocumentController controller;
    return controller;
}

void HVDocumentController::reset() {
    m_documents.clear();
    m_currentDocument = nullptr;
    m_filesLoaded = false;
}

void HVDocumentController::addDocument(std::shared_ptr<HVDocument> document) {
    if (std::find(m_documents.begin(), m_documents.end(), document) == m_documents.end())
        m_documents.push_back(std::move(document));
}

void HVDocumentController::removeDocument(HVDocument* document) {
    auto it = std::find_if(m_documents.begin(), m_documents.end(),
                           [&](const auto& entry) { return entry.get() == document; });
    if (it == m_documents.end())
        return;
    std::shared_ptr<HVDocument> keep = *it;
    m_documents.erase(it);
    if (m_currentDocument == document)
        m_currentDocument = m_documents.empty() ? nullptr : m_documents.back().get();
    // The document may be the caller: it goes only after the current event.
    HVDispatcher::main().post([keep] {});
}

std::string HVDocumentController::typeForPath(const std::string& path) {
    if (HVFileSystem::pathExtension(path) == "hvproj" || HVFileSystem::isDirectory(path))
        return std::string(kProjectDocumentType);
    return std::string(HVTextDocumentType);
}

void HVDocumentController::display(HVDocument* document) {
    m_currentDocument = document;
    if (m_presenter)
        m_presenter->showDocument(document);
}

HVDocument* HVDocumentController::openDocumentWithContentsOfFile(const std::string& requestedPath,
                                                                 bool display, HVError* error) {
    // "./", "//" and a relative path name the file they lead to.
    std::string path = HVFileSystem::standardizingPath(requestedPath);
    auto howToOpen = HVPreferences::sharedInstance().integerForKey("HVHowToOpenFiles").value_or(0);
    if (m_presenter)
        m_presenter->closeProjectManager();

    if (!HVFileSystem::exists(path)) {
        if (m_presenter)
            m_presenter->showProjectManager();
        HVError alert(HVPlatformErrorDomain, ENOENT, "Unable to load project",
                      "Check the project directory and configuration", {"OK"});
        alert.setUserInfoValue(HVFilePathErrorKey, path);
        HVUserInterface::shared().presentError(alert, nullptr, nullptr);
        HVSetError(error, alert);
        return nullptr;
    }

    // A project file stands for its folder.
    bool isFile = typeForPath(path) != kProjectDocumentType;
    // A file already open anywhere, however the path names it, shows its window or tab
    // again: two editors of one file would overwrite each other.
    HVDocument* result = isFile ? documentShowingFile(path) : nullptr;
    // Opens the file as a tab of the document; a file that cannot be read opens nowhere else
    // either, so its reason is kept and the search stops.
    bool failed = false;
    auto openIn = [&](HVDocument& document) {
        HVError failure;
        HVFileDocument* opened = document.openFileAtPath(path, &failure);
        if (!opened && !failure.description().empty()) {
            HVSetError(error, failure);
            failed = true;
        }
        return opened;
    };
    for (const auto& document : std::vector<std::shared_ptr<HVDocument>>(m_documents)) {
        if (result)
            break;
        if (document->projectDocument() == document.get() && document->canOpenFile(path)) {
            if (!isFile) {
                result = document.get();
                break;
            }
            if ((result = openIn(*document)))
                break;
            if (failed)
                return nullptr;
            continue;
        }
        if (howToOpen == 1 && isFile && document->isMultiFile() && m_currentDocument &&
            document->activeDocument() == m_currentDocument->activeDocument()) {
            if ((result = openIn(*document)))
                break;
            if (failed)
                return nullptr;
        }
    }
    if (result) {
        if (m_presenter)
            m_presenter->bringToFront(result);
        return result;
    }

    return adopt(makeDocumentWithContentsOfFile(path, typeForPath(path), error), display);
}

HVDocument* HVDocumentController::documentShowingFile(const std::string& path) {
    for (const auto& document : m_documents) {
        if (HVFileDocument* open = document->documentForPath(path)) {
            document->openFileAtPath(path, nullptr);
            return open;
        }
        if (!document->isMultiFile() && HVFileSystem::isSameFile(document->fileName(), path))
            return document.get();
    }
    return nullptr;
}

HVDocument* HVDocumentController::adopt(std::shared_ptr<HVDocument> document, bool display) {
    if (!document)
        return nullptr;
    addDocument(document);
    document->makeWindowControllers();
    if (display)
        this->display(document.get());
    return document.get();
}

std::shared_ptr<HVDocument>
HVDocumentController::makeDocumentWithContentsOfFile(const std::string& path,
                                                     const std::string& type, HVError* error) {
    if (HVFileSystem::isDirectory(path) || type == kProjectDocumentType) {
        auto project = HVProjectDocument::initWithContentsOfFile(path, error);
        if (project)
            project->setFileType(std::string(kProjectDocumentType));
        return project;
    }
    std::shared_ptr<HVDocument> document;
    if (HVPreferences::sharedInstance().boolForKey("HVUseTabs").value_or(true))
        document = HVMultiFileDocument::initWithContentsOfFile(path, error);
    else
        document = HVSingleFileDocument::initWithContentsOfFile(path, error);
    if (document)
        document->setFileType(type);
    return document;
}

std::shared_ptr<HVDocument>
HVDocumentController::makeUntitledDocumentOfType(const std::string& type, HVError*) {
    auto document = std::make_shared<HVSingleFileDocument>();
    document->setFileType(type);
    return document;
}

HVDocument* HVDocumentController::openUntitledDocumentAndDisplay(bool display, HVError* error) {
    if (m_presenter)
        m_presenter->closeProjectManager();
    return adopt(makeUntitledDocumentOfType(std::string(HVTextDocumentType), error), display);
}

bool HVDocumentController::applicationOpenFiles(const std::vector<std::string>& paths) {
    bool all = !paths.empty();
    for (const auto& path : paths) {
        HVError error;
        if (!openDocumentWithContentsOfFile(path, true, &error)) {
            all = false;
            if (!error.is(HVPlatformErrorDomain, ENOENT))
                HVUserInterface::shared().presentError(error, nullptr, nullptr);
        }
    }
    if (all)
        m_filesLoaded = true;
    return all;
}

void HVDocumentController::applicationDidFinishLaunching() {
    if (!m_filesLoaded)
        openUntitledDocumentAndDisplay(true);
    HVCodeIndex::sharedIndex().start();
}

HVDocument* HVDocumentController::newFileWithClipboard(HVClipboard& clipboard) {
    HVDocument* document = openUntitledDocumentAndDisplay(true);
    HVFileDocument* file = document ? document->activeDocument() : nullptr;
    if (!file)
        return document;
    // The clipboard's line breaks become the new document's type.
    file->reloadContentsFromString(clipboard.string().value_or(u""), {});
    file->updateChangeCount(HVDocument::ChangeDone);
    return document;
}
