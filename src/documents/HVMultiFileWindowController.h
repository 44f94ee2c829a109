#pragma once

#include "HVFileDocumentDelegate.h"
#include "HVStatusBar.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class HVDocument;
class HVFile;
class HVFileDocument;

// The model of a tabbed window: its text file documents in tab order, which one is active,
// opening, activating and closing them, and the review of unsaved documents when the window
// closes. It is the delegate of each of its documents.
class HVMultiFileWindowController : public HVFileDocumentDelegate {
public:
    struct Tab {
        std::string identifier; // the node's unique id
        std::string title;
        std::string toolTip;
        bool edited = false;
        friend bool operator==(const Tab&, const Tab&) = default;
    };

    explicit HVMultiFileWindowController(HVDocument* mainDocument);
    ~HVMultiFileWindowController() override;

    HVDocument* mainDocument() const { return m_mainDocument; }
    const std::vector<std::shared_ptr<HVFileDocument>>& openDocuments() const {
        return m_openDocuments;
    }
    HVFileDocument* activeDocument() const { return m_activeDocument; }
    const std::vector<Tab>& tabs() const { return m_tabs; }
    // The selected tab, or -1.
    int selectedTabIndex() const;
    bool closingLastTabClosesDocument() const { return m_closingLastTabClosesDocument; }
    void setClosingLastTabClosesDocument(bool flag) { m_closingLastTabClosesDocument = flag; }

    // Opens or activates the document of a node. A file that cannot be read opens no tab: the
    // reason goes to error, or, without one, to an alert on this window.
    HVFileDocument* openFile(const std::shared_ptr<HVFile>& file, HVError* error = nullptr);
    HVFileDocument* openFileAtPath(const std::string& path, HVError* error = nullptr);
    virtual std::shared_ptr<HVFileDocument>
    createDocumentForFile(const std::shared_ptr<HVFile>& file);
    // The node a path opens as: a lone node here, the tree's node in a project.
    virtual std::shared_ptr<HVFile> fileForPath(const std::string& path);
    HVFileDocument* documentForFile(const std::shared_ptr<HVFile>& file) const;
    // The open document of the file at path, however the path names it (a link, "./", a
    // hard link).
    HVFileDocument* documentForPath(const std::string& path) const;
    // Opens a new untitled tab.
    HVFileDocument* untitledDocument();

    void activateDocument(HVFileDocument* document) override;
    void closeDocument(HVFileDocument* document);
    // Closes the active document after the save question, or the window when there is none.
    void closeCurrentFile();
    // The close-all review; the completion hears whether the window may close.
    void closeOpenFiles(std::function<void(bool mayClose)> completion = nullptr);
    void saveAllFiles();
    void nextFile();
    void previousFile();
    std::vector<HVFileDocument*> editedDocuments() const;
    // Tab strip events.
    void selectTabAtIndex(int index);
    void moveTab(std::size_t from, std::size_t to);
    // A tab's close button: asks about unsaved changes first.
    void tryToCloseDocument(HVFileDocument* document);

    // The document delegate.
    HVStatusBar* statusBarForDocument(HVFileDocument*) override { return m_statusBar; }
    void documentNeedsRefresh(HVFileDocument* document) override;
    void documentShouldForceClose(HVFileDocument* document) override;
    void documentSaveForCloseFinished(HVFileDocument* document) override;
    std::shared_ptr<HVFile> backingFileWillChangeToPath(HVFileDocument* document,
                                                        const std::string& path) override;

    // The windowing layer listens here and puts its status bar in place of the recording one.
    std::function<void()> onTabsChanged;
    std::function<void()> onWindowShouldClose;
    void setStatusBar(HVStatusBar* statusBar) { m_statusBar = statusBar; }
    HVRecordingStatusBar& recordingStatusBar() { return m_recordingStatusBar; }

private:
    void closeAllTabsWithoutAsking();
    void finishCloseAll(bool mayClose);
    // After a tab closed: with none left, the window closes after the current event.
    void tabDidClose();
    void closeWindowLater();
    void tabsChanged();
    Tab tabForDocument(HVFileDocument* document) const;

    HVDocument* m_mainDocument;
    // In tab order; looked up by the unique id of each document's node.
    std::vector<std::shared_ptr<HVFileDocument>> m_openDocuments;
    HVFileDocument* m_activeDocument = nullptr;
    std::vector<Tab> m_tabs;
    bool m_closingLastTabClosesDocument = true;
    int m_pendingSaveCount = 0;
    std::function<void(bool)> m_pendingCloseCompletion;
    HVRecordingStatusBar m_recordingStatusBar;
    HVStatusBar* m_statusBar = &m_recordingStatusBar;
    // Expires with the controller: work posted for later checks it first.
    std::shared_ptr<void> m_lifetime = std::make_shared<char>(0);
};
