#pragma once

#include "HVBundle.h"
#include "HVCodeCompletionEntry.h"
#include "HVCodeCompletionUI.h"
#include "HVSyntaxTestSupport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A bundle of the test's own, read from a temporary folder with its definitions loaded.
std::shared_ptr<HVBundle> HVMakeCompletionBundle(const HVTemporaryDirectory& folder,
                                                 const std::string& identifier,
                                                 const HVPlistValue& syntax,
                                                 const HVPlistValue& completion,
                                                 const HVPlistValue& hinting = {});

// Entries as "key|type|prototype" (type "-" for none), with "+" after an entry that keeps the
// pop-up open, joined by ", ".
std::string HVDescribeEntries(const std::vector<HVCodeCompletionEntry>& entries);

// Installs a dialog presenter for the life of the object: it records each dialog's interface
// name, lets fill set its values and ends with result.
class HVTestCompletionPresenter {
public:
    HVTestCompletionPresenter(int result, std::function<void(HVCodeCompletionUI&)> fill);
    ~HVTestCompletionPresenter();
    const std::vector<std::string>& shown() const { return *m_shown; }

private:
    std::shared_ptr<std::vector<std::string>> m_shown =
        std::make_shared<std::vector<std::string>>();
};

// Runs the completion's post-processing and the main queue; what reached the callback, or
// "(nothing)" when it got none, "(no answer)" when it was never called.
std::string HVPostprocess(class HVCodeCompletion& completion, const std::u16string& text);
