#pragma once

#include "HVFileDocument.h"
#include "HVFileDocumentDelegate.h"
#include "HVStatusBar.h"

#include <memory>

class HVSingleFileDocument;

// The window of a single-file document: it is the document's delegate and owns its status bar.
class HVSingleFileWindowController : public HVFileDocumentDelegate {
public:
    explicit HVSingleFileWindowController(HVSingleFileDocument* document);

    HVSingleFileDocument* document() const { return m_document; }
    // The GUI puts its own status bar in place of the recording one.
    void setStatusBar(HVStatusBar* statusBar) { m_statusBar = statusBar; }
    HVRecordingStatusBar& recordingStatusBar() { return m_recordingStatusBar; }

    HVStatusBar* statusBarForDocument(HVFileDocument*) override { return m_statusBar; }
    void documentShouldForceClose(HVFileDocument* document) override;

private:
    HVSingleFileDocument* m_document;
    HVRecordingStatusBar m_recordingStatusBar;
    HVStatusBar* m_statusBar = &m_recordingStatusBar;
};

// A text file in a window of its own, keeping its settings to itself.
class HVSingleFileDocument : public HVFileDocument {
public:
    HVSingleFileDocument();
    // Reads the file's bytes now; they are decoded when the view is made.
    static std::shared_ptr<HVSingleFileDocument> initWithContentsOfFile(const std::string& path,
                                                                        HVError* error);

    HVSingleFileWindowController& windowController() { return *m_windowController; }
    void makeWindowControllers() override;

protected:
    bool keepsSettingsForAllFiles() const override { return true; }

private:
    std::unique_ptr<HVSingleFileWindowController> m_windowController;
};
