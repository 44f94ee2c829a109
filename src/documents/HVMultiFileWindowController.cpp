#include "HVMultiFileWindowController.h"

#include "HVDispatcher.h"
#include "HVDocument.h"
#include "HVDocumentController.h"
#include "HVFile.h"
#include "HVFileDocument.h"
#include "HVFileSystem.h"
#include "HVUserInterface.h"

#include <algorithm>

HVMultiFileWindowController::HVMultiFileWindowController(HVDocument* mainDocument)
    : m_mainDocument(mainDocument) {}

HVMultiFileWindowController::~HVMultiFileWindowController() {
    for (const auto& document : m_openDocuments) {
        if (document->delegate() == this)
            document->setDelegate(nullptr);
    }
}

int HVMultiFileWindowController::selectedTabIndex() const {
    for (std::size_t i = 0; i < m_openDocuments.size(); ++i) {
        if (m_openDocuments[i].get() == m_activeDocument)
            return int(i);
    }
    return -1;
}

HVFileDocument* HVMultiFileWindowController::openFile(const std::shared_ptr<HVFile>& file,
                                                      HVError* error) {
    if (!file)
        return nullptr;
    // A remote file that is still downloading opens when the node asks again.
    if (file->fileType() != HVFile::Directory && !file->contentAvailable(true))
        return nullptr;
    HVFileDocument* document = documentForFile(file);
    if (!document) {
        auto created = createDocumentForFile(file);
        if (!created)
            return nullptr;
        // Read before the tab exists: a file that cannot be read must not leave an empty
        // editor bound to its path.
        HVError failure;
        if (!created->fileName().empty() && !created->readFileContents(&failure)) {
            created->setDelegate(nullptr);
            if (error)
                *error = failure;
            else
                HVUserInterface::shared().presentError(failure, this, nullptr);
            return nullptr;
        }
        document = created.get();
        m_openDocuments.push_back(std::move(created));
    }
    activateDocument(document);
    return document;
}

HVFileDocument* HVMultiFileWindowController::openFileAtPath(const std::string& path,
                                                            HVError* error) {
    if (HVFileDocument* document = documentForPath(path)) {
        activateDocument(document);
        return document;
    }
    return openFile(fileForPath(path), error);
}

std::shared_ptr<HVFile> HVMultiFileWindowController::fileForPath(const std::string& path) {
    return HVFile::initWithPath(path);
}

std::shared_ptr<HVFileDocument>
HVMultiFileWindowController::createDocumentForFile(const std::shared_ptr<HVFile>& file) {
    if (file && file->fileType() == HVFile::Directory)
        return nullptr;
    return std::make_shared<HVFileDocument>(file, this);
}

HVFileDocument*
HVMultiFileWindowController::documentForFile(const std::shared_ptr<HVFile>& file) const {
    if (!file)
        return nullptr;
    for (const auto& document : m_openDocuments) {
        if (document->uuid() == file->uuid())
            return document.get();
    }
    return nullptr;
}

HVFileDocument* HVMultiFileWindowController::documentForPath(const std::string& path) const {
    for (const auto& document : m_openDocuments) {
        if (HVFileSystem::isSameFile(document->fileName(), path))
            return document.get();
    }
    return nullptr;
}

HVFileDocument* HVMultiFileWindowController::untitledDocument() {
    auto document = std::make_shared<HVFileDocument>(nullptr, this);
    HVFileDocument* raw = document.get();
    m_openDocuments.push_back(std::move(document));
    activateDocument(raw);
    return raw;
}

HVMultiFileWindowController::Tab
HVMultiFileWindowController::tabForDocument(HVFileDocument* document) const {
    return Tab{document->uuid(), document->displayName(), document->fileName(),
               document->isDocumentEdited()};
}

void HVMultiFileWindowController::activateDocument(HVFileDocument* document) {
    if (document == m_activeDocument)
        return;
    if (m_activeDocument)
        m_activeDocument->deactivate();
    m_activeDocument = document;
    if (document) {
        document->setDelegate(this);
        // The first activation makes the view and loads the file.
        document->viewWithSuggestedFrame();
        document->activate();
    }
    tabsChanged();
}

void HVMultiFileWindowController::closeDocument(HVFileDocument* document) {
    auto it = std::find_if(m_openDocuments.begin(), m_openDocuments.end(),
                           [&](const auto& open) { return open.get() == document; });
    if (it == m_openDocuments.end())
        return;
    std::shared_ptr<HVFileDocument> keep = *it;
    std::size_t index = std::size_t(it - m_openDocuments.begin());
    m_openDocuments.erase(it);
    if (m_activeDocument == document) {
        m_activeDocument = nullptr;
        if (!m_openDocuments.empty())
            activateDocument(m_openDocuments[std::min(index, m_openDocuments.size() - 1)].get());
    }
    keep->close();
    keep->setDelegate(nullptr);
    tabsChanged();
}

void HVMultiFileWindowController::tabDidClose() {
    if (!m_openDocuments.empty() || !m_closingLastTabClosesDocument)
        return;
    closeWindowLater();
}

void HVMultiFileWindowController::closeWindowLater() {
    HVDispatcher::main().post([this, alive = std::weak_ptr<void>(m_lifetime)] {
        if (alive.expired())
            return;
        if (onWindowShouldClose)
            onWindowShouldClose();
        else if (m_mainDocument)
            m_mainDocument->close();
    });
}

void HVMultiFileWindowController::tryToCloseDocument(HVFileDocument* document) {
    if (!document)
        return;
    document->canClose([this, document](bool mayClose) {
        if (!mayClose)
            return;
        closeDocument(document);
        tabDidClose();
    });
}

void HVMultiFileWindowController::closeCurrentFile() {
    if (m_activeDocument) {
        tryToCloseDocument(m_activeDocument);
        return;
    }
    closeWindowLater();
}

void HVMultiFileWindowController::closeAllTabsWithoutAsking() {
    // Nothing is activated on the way out.
    if (m_activeDocument)
        m_activeDocument->deactivate();
    m_activeDocument = nullptr;
    while (!m_openDocuments.empty())
        closeDocument(m_openDocuments.back().get());
}

void HVMultiFileWindowController::finishCloseAll(bool mayClose) {
    auto completion = std::move(m_pendingCloseCompletion);
    m_pendingCloseCompletion = nullptr;
    m_pendingSaveCount = 0;
    if (completion)
        completion(mayClose);
}

void HVMultiFileWindowController::closeOpenFiles(std::function<void(bool)> completion) {
    m_pendingCloseCompletion = std::move(completion);
    if (m_openDocuments.empty()) {
        finishCloseAll(true);
        return;
    }
    std::vector<HVFileDocument*> edited = editedDocuments();
    if (edited.empty()) {
        closeAllTabsWithoutAsking();
        finishCloseAll(true);
        return;
    }
    std::vector<std::string> titles;
    for (HVFileDocument* document : edited)
        titles.push_back(document->titleForLists());
    HVUserInterface::shared().reviewUnsavedDocuments(
        titles, this, [this, edited](int result, std::vector<std::size_t> selected) {
            if (result == 2) {
                closeAllTabsWithoutAsking();
                finishCloseAll(true);
                return;
            }
            if (result != 0 && result != 1) {
                finishCloseAll(false);
                return;
            }
            std::vector<HVFileDocument*> toSave;
            if (result == 0) {
                toSave = edited;
            } else {
                for (std::size_t index : selected) {
                    if (index < edited.size())
                        toSave.push_back(edited[index]);
                }
            }
            if (toSave.empty()) {
                finishCloseAll(false);
                return;
            }
            // Count first: a local save may finish before the next one starts.
            m_pendingSaveCount = int(toSave.size());
            for (HVFileDocument* document : toSave)
                document->saveDocumentForClose();
        });
}

void HVMultiFileWindowController::documentSaveForCloseFinished(HVFileDocument*) {
    if (m_pendingSaveCount <= 0)
        return;
    if (--m_pendingSaveCount == 0) {
        // The last save may still be on the stack of the document it saved: close the tabs
        // once it has returned.
        HVDispatcher::main().post([this, alive = std::weak_ptr<void>(m_lifetime)] {
            if (alive.expired())
                return;
            closeAllTabsWithoutAsking();
            finishCloseAll(true);
        });
    }
}

void HVMultiFileWindowController::saveAllFiles() {
    for (HVFileDocument* document : editedDocuments())
        document->saveDocument();
}

void HVMultiFileWindowController::nextFile() {
    if (m_openDocuments.empty())
        return;
    int index = selectedTabIndex();
    selectTabAtIndex(int((std::size_t(index + 1)) % m_openDocuments.size()));
}

void HVMultiFileWindowController::previousFile() {
    if (m_openDocuments.empty())
        return;
    int index = selectedTabIndex();
    int count = int(m_openDocuments.size());
    selectTabAtIndex(index <= 0 ? count - 1 : index - 1);
}

std::vector<HVFileDocument*> HVMultiFileWindowController::editedDocuments() const {
    std::vector<HVFileDocument*> edited;
    for (const auto& document : m_openDocuments) {
        if (document->isDocumentEdited())
            edited.push_back(document.get());
    }
    return edited;
}

void HVMultiFileWindowController::selectTabAtIndex(int index) {
    if (index < 0 || std::size_t(index) >= m_openDocuments.size())
        activateDocument(nullptr);
    else
        activateDocument(m_openDocuments[std::size_t(index)].get());
}

void HVMultiFileWindowController::moveTab(std::size_t from, std::size_t to) {
    if (from >= m_openDocuments.size() || to >= m_openDocuments.size() || from == to)
        return;
    auto document = m_openDocuments[from];
    m_openDocuments.erase(m_openDocuments.begin() + std::ptrdiff_t(from));
    m_openDocuments.insert(m_openDocuments.begin() + std::ptrdiff_t(to), std::move(document));
    tabsChanged();
}

void HVMultiFileWindowController::documentNeedsRefresh(HVFileDocument*) {
    tabsChanged();
}

void HVMultiFileWindowController::documentShouldForceClose(HVFileDocument* document) {
    closeDocument(document);
    tabDidClose();
}

std::shared_ptr<HVFile>
HVMultiFileWindowController::backingFileWillChangeToPath(HVFileDocument*, const std::string& path) {
    // The tab is keyed anew from the document's new node on the refresh that follows.
    return HVFile::initWithPath(path);
}

void HVMultiFileWindowController::tabsChanged() {
    std::vector<Tab> tabs;
    tabs.reserve(m_openDocuments.size());
    for (const auto& document : m_openDocuments)
        tabs.push_back(tabForDocument(document.get()));
    m_tabs = std::move(tabs);
    if (onTabsChanged)
        onTabsChanged();
}
