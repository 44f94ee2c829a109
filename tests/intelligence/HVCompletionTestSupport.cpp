#include "HVCompletionTestSupport.h"

#include "HVCodeCompletion.h"
#include "HVDispatcher.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

std::shared_ptr<HVBundle> HVMakeCompletionBundle(const HVTemporaryDirectory& folder,
                                                 const std::string& identifier,
                                                 const HVPlistValue& syntax,
                                                 const HVPlistValue& completion,
                                                 const HVPlistValue& hinting) {
    std::map<std::string, HVPlistValue> files{{"syntax.plist", syntax}};
    if (!completion.isNone())
        files["completion.plist"] = completion;
    if (!hinting.isNone())
        files["hinting.plist"] = hinting;
    std::string path = HVBundleTestEnvironment::writeBundle(
        folder.path(), identifier + ".hvbundle",
        HVPlistValue::Dictionary{{"CFBundleIdentifier", identifier}, {"CFBundleName", identifier}},
        files);
    HVError error;
    auto bundle = HVBundle::initWithPath(path, false, &error);
    EXPECT_TRUE(bundle) << error.description();
    return bundle;
}

std::string HVDescribeEntries(const std::vector<HVCodeCompletionEntry>& entries) {
    std::string out;
    for (const auto& entry : entries) {
        if (!out.empty())
            out += ", ";
        out += HVUnicode::utf8(entry.key()) + "|" +
               (entry.type() ? HVUnicode::utf8(*entry.type()) : "-") + "|" +
               HVUnicode::utf8(entry.prototype()) + (entry.hideOnComplete() ? "" : "+");
    }
    return out;
}

HVTestCompletionPresenter::HVTestCompletionPresenter(
    int result, std::function<void(HVCodeCompletionUI&)> fill) {
    HVCodeCompletionUI::setPresenter(
        [shown = m_shown, result, fill](const std::shared_ptr<HVCodeCompletionUI>& ui,
                                        HVCodeCompletionUI::Ended ended) {
            shown->push_back(ui->nibName());
            if (fill)
                fill(*ui);
            ended(result);
        });
}

HVTestCompletionPresenter::~HVTestCompletionPresenter() {
    HVCodeCompletionUI::setPresenter({});
}

std::string HVPostprocess(HVCodeCompletion& completion, const std::u16string& text) {
    std::string answer = "(no answer)";
    completion.postprocessCompletion(text, [&](std::optional<std::u16string> result) {
        answer = result ? HVUnicode::utf8(*result) : "(nothing)";
    });
    HVDispatcher::main().runPending();
    return answer;
}
