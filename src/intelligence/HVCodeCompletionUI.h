#pragma once

#include "HVPlistValue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class HVCodeCompletion;

// A small dialog that a completion opens before inserting: a length with its unit, a colour, a
// number, a font family, a file. This is the dialog's model; the window draws it through the
// presenter it installs, and tests install one that answers. Main thread only.
class HVCodeCompletionUI : public std::enable_shared_from_this<HVCodeCompletionUI> {
public:
    // Result 1 is OK; anything else cancels.
    using Ended = std::function<void(int result)>;
    // Shows the dialog (as a sheet on the key window, or a file chooser), fills values() and
    // calls ended once. A presenter that cannot show it calls ended with 0.
    using Presenter =
        std::function<void(const std::shared_ptr<HVCodeCompletionUI>& ui, Ended ended)>;

    virtual ~HVCodeCompletionUI();

    static void setPresenter(Presenter presenter);
    static bool hasPresenter();

    // Shows the dialog after a 0-second delay (through the main dispatcher); didEnd gets the
    // text (stringValue()) on OK, none otherwise or without a presenter.
    void displayWithDelegate(const std::shared_ptr<HVCodeCompletion>& delegate,
                             std::function<void(std::optional<std::u16string>)> didEnd);

    // The interface the window shows: "units", "color", "numeric", "popup", "unknown", or
    // empty for a file chooser.
    virtual std::string nibName() const;
    // The text to insert, from values().
    virtual std::u16string stringValue() const;
    // String-keyed values the dialog reads and fills ("units", "unitlist", "number", "color",
    // "value", "valuelist", "path").
    HVPlistValue& values();
    const HVPlistValue& values() const;
    // The completion that opened the dialog, while it lives.
    std::shared_ptr<HVCodeCompletion> delegate() const { return m_delegate.lock(); }
    // The folder a file chooser starts in (the completion's pathForUI()).
    std::string pathForUI() const;

protected:
    HVCodeCompletionUI() = default;
    std::weak_ptr<HVCodeCompletion> m_delegate;
    mutable std::optional<HVPlistValue> m_values;
};
