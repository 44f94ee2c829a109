#pragma once

#include "HVError.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Everything the logic asks of the person at the screen goes through here: alerts with
// recovery options, open and save panels, the beep. The GUI installs its Qt implementation;
// tests install a scripted one. Answers arrive through completion callbacks, which may run
// inside the call (a scripted answer) or later on the main thread (a sheet the user closes).
class HVUserInterface {
public:
    struct OpenPanelOptions {
        std::string title;
        std::string directory;
        bool chooseFiles = true;
        bool chooseDirectories = false;
        bool allowsMultipleSelection = true;
        // Extensions without the dot (any case) of the files offered; empty offers all.
        std::vector<std::string> allowedExtensions;
    };
    struct SavePanelOptions {
        std::string title;
        std::string directory;
        std::string fileName;
    };

    virtual ~HVUserInterface() = default;

    // The shared interface; a silent one (first option, no paths) until the GUI or a test
    // installs its own.
    static HVUserInterface& shared();
    static void setShared(std::shared_ptr<HVUserInterface> userInterface);

    // Shows the error; the completion gets the index of the chosen recovery option (0 when the
    // error has none and the user dismissed it). The context names the window or sheet, or is
    // null for an application-wide alert.
    virtual void presentError(const HVError& error, const void* context,
                              std::function<void(std::size_t option)> completion) = 0;
    // The chosen paths, or none when cancelled.
    virtual void runOpenPanel(const OpenPanelOptions& options, const void* context,
                              std::function<void(std::vector<std::string> paths)> completion) = 0;
    virtual void runSavePanel(const SavePanelOptions& options, const void* context,
                              std::function<void(std::optional<std::string> path)> completion) = 0;
    // The review of unsaved documents before a window closes: result 0 saves all, 1 saves the
    // selected ones (their indexes), 2 discards all changes, 3 cancels.
    virtual void reviewUnsavedDocuments(
        const std::vector<std::string>& titles, const void* context,
        std::function<void(int result, std::vector<std::size_t> selected)> completion) = 0;
    virtual void beep() = 0;
};
