#pragma once

#include "HVError.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class HVFile;
class HVFileDocument;
class HVStatusBar;

// The window controller that shows a file document. Every operation has a default that means
// "not answered".
class HVFileDocumentDelegate {
public:
    virtual ~HVFileDocumentDelegate() = default;

    virtual HVStatusBar* statusBarForDocument(HVFileDocument*) { return nullptr; }
    // Shows an error with its recovery options; the completion gets the chosen option.
    virtual void presentErrorAlert(HVFileDocument* document, const HVError& error,
                                   std::function<void(std::size_t option)> completion);
    virtual void activateDocument(HVFileDocument*) {}
    // The title, the changed mark or the icon of the document changed.
    virtual void documentNeedsRefresh(HVFileDocument*) {}
    virtual void documentShouldForceClose(HVFileDocument*) {}
    virtual void documentSaveForCloseFinished(HVFileDocument*) {}
    // The tree node for a new path after "Save As"; by default a lone node of its own.
    virtual std::shared_ptr<HVFile> backingFileWillChangeToPath(HVFileDocument* document,
                                                                const std::string& path);
};
