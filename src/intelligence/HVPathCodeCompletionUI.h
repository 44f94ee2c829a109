#pragma once

#include "HVCodeCompletionUI.h"

// A file chooser: the chosen "path", inserted relative to the document's folder.
class HVPathCodeCompletionUI : public HVCodeCompletionUI {
public:
    static std::shared_ptr<HVPathCodeCompletionUI> make();
    std::string nibName() const override;
    std::u16string stringValue() const override;

protected:
    HVPathCodeCompletionUI() = default;
};
