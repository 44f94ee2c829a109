#pragma once

#include "HVCodeCompletionUI.h"

#include <memory>

// The window's side of the completion dialogs: window-modal sheets on the active window for
// a length or angle with its unit ("units"), a colour ("color"), a number ("numeric"), a font
// family ("popup") and any other value ("unknown"), and a file chooser for paths. Each fills
// the dialog model's values and ends it with 1 for OK, 0 for Cancel.
class HVCodeCompletionDialogs {
public:
    // Installs the presenter and gives the style-sheet dialogs the installed font families.
    static void install();
    static void present(const std::shared_ptr<HVCodeCompletionUI>& ui,
                        HVCodeCompletionUI::Ended ended);
};
