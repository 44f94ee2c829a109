#pragma once

#include "HVError.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class HVClipboard;
class HVDocument;
class HVFileDocument;

// The application-wide dispatcher of documents: decides for every path whether it opens in a
// project, as a tab of a tabbed window or in a window of its own, opens untitled documents,
// takes the files handed over at launch and the "hvdt" URLs of other programs.
class HVDocumentController {
public:
    // What the windowing layer does for the controller. Headless runs have none.
    class Presenter {
    public:
        virtual ~Presenter() = default;
        // Makes and shows the windows of a new document.
        virtual void showDocument(HVDocument* document) = 0;
        virtual void bringToFront(HVDocument* document) = 0;
        virtual void showProjectManager() {}
        virtual void closeProjectManager() {}
    };

    // Registers the preference defaults before anything else reads them.
    static HVDocumentController& sharedController();
    // Forgets every document (tests start from an empty application).
    void reset();

    void setPresenter(Presenter* presenter) { m_presenter = presenter; }
    Presenter* presenter() const { return m_presenter; }

    const std::vector<std::shared_ptr<HVDocument>>& documents() const { return m_documents; }
    void addDocument(std::shared_ptr<HVDocument> document);
    // The document is released once the current event is over, so a document may remove
    // itself while it runs.
    void removeDocument(HVDocument* document);
    // The document of the front window, as the windowing layer reports it.
    HVDocument* currentDocument() const { return m_currentDocument; }
    void setCurrentDocument(HVDocument* document) { m_currentDocument = document; }

    static std::string typeForPath(const std::string& path);

    HVDocument* openDocumentWithContentsOfFile(const std::string& path, bool display,
                                               HVError* error = nullptr);
    std::shared_ptr<HVDocument> makeDocumentWithContentsOfFile(const std::string& path,
                                                               const std::string& type,
                                                               HVError* error = nullptr);
    std::shared_ptr<HVDocument> makeUntitledDocumentOfType(const std::string& type,
                                                           HVError* error = nullptr);
    HVDocument* openUntitledDocumentAndDisplay(bool display, HVError* error = nullptr);
    // The files handed over at launch; true when every one opened.
    bool applicationOpenFiles(const std::vector<std::string>& paths);
    bool filesLoaded() const { return m_filesLoaded; }
    // The start-up order once launching has finished.
    void applicationDidFinishLaunching();
    bool applicationShouldOpenUntitledFile() const { return false; }

    // "New from Clipboard": an untitled document holding the clipboard's text, marked changed.
    HVDocument* newFileWithClipboard(HVClipboard& clipboard);

private:
    HVDocumentController();
    void display(HVDocument* document);
    // The open document of the file at path (its tab made active), or none.
    HVDocument* documentShowingFile(const std::string& path);
    // Lists a new document, makes its window model and shows it.
    HVDocument* adopt(std::shared_ptr<HVDocument> document, bool display);

    std::vector<std::shared_ptr<HVDocument>> m_documents;
    HVDocument* m_currentDocument = nullptr;
    Presenter* m_presenter = nullptr;
    bool m_filesLoaded = false;
};
