#include "HTMLView.h"

#include "HVBundleRepository.h"
#include "HVCSSCodeCompletionUI.h"
#include "HVCodeCompletionUI.h"
#include "HVDispatcher.h"
#include "HVEditorTestSupport.h"
#include "HVPreferences.h"
#include "HVScriptedUserInterface.h"
#include "HVUndoManager.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

std::vector<std::string> keys(const HVCodeCompletionPopup& popup) {
    std::vector<std::string> keys;
    for (const auto& entry : popup.entries())
        keys.push_back(HVUnicode::utf8(entry.key()));
    return keys;
}

std::string selectedKey(const HVCodeCompletionPopup& popup) {
    const HVCodeCompletionEntry* entry = popup.currentEntry();
    return entry ? HVUnicode::utf8(entry->key()) : "(none)";
}

// Languages of the test's own with completion definitions: markup with tag completion, a
// script with keywords and call hints, a style sheet whose lengths ask for a value.
class Completion : public ::testing::Test {
protected:
    Completion() {
        HVDispatcher::main().adoptCurrentThread();
        std::string bundles = environment.bundles().shippedBundles();
        write(
            bundles, "Completing Markup", "cmarkup", Dict{{"format-type", "tag"}},
            Dict{{"format-type", "tag"},
                 {"elements", Dict{{"a", Dict{{"href", ""}, {"target", Array{"_blank", "_self"}}}},
                                   {"abbr", Dict{{"title", ""}}}}}});
        write(bundles, "Completing Script", "cscript",
              Dict{{"format-type", "keyword"},
                   {"keyword-characters",
                    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_$"}},
              Dict{{"format-type", "keyword"},
                   {"keys", Dict{{"substr", "function substr(string, start[, length])"},
                                 {"subject", "variable subject"},
                                 {"strlen", "function strlen(string)"}}}},
              Dict{{"substr", "substr(string, start[, length])"}});
        write(
            bundles, "Completing Style", "cstyle",
            Dict{{"format-type", "keyword"}, {"keyword-characters", "abcdefghijklmnopqrstuvwxyz-"}},
            Dict{{"class", "HVCSSCodeCompletion"},
                 {"properties", Dict{{"width", Array{"auto", "length\u2026"}},
                                     {"color", Array{"red", "color\u2026"}}}}});
        HVBundleRepository::sharedRepository().reset();
    }
    ~Completion() override { HVCodeCompletionUI::setPresenter(nullptr); }

    static void write(const std::string& folder, const std::string& name,
                      const std::string& extension, Dict syntax, Dict completion,
                      std::optional<Dict> hinting = std::nullopt) {
        syntax["format-id"] = "text." + extension;
        std::map<std::string, HVPlistValue> files{{"syntax.plist", syntax},
                                                  {"completion.plist", completion}};
        if (hinting)
            files["hinting.plist"] = *hinting;
        HVBundleTestEnvironment::writeBundle(folder, name + ".hvbundle",
                                             Dict{{"CFBundleIdentifier", "x." + extension},
                                                  {"CFBundleName", name},
                                                  {"file-types", Array{extension}}},
                                             files);
    }

    std::unique_ptr<HTMLView> open(const char* extension, std::u16string_view text = u"") {
        auto view = HVOpenView(text, std::string("/tmp/page.") + extension);
        view->setSelectedRange({text.size(), 0});
        return view;
    }
    static void type(HTMLView& view, std::u16string_view keys) { HVTypeKeys(view, keys); }
    static void command(HTMLView& view, const char* selector) { HVRunCommand(view, selector); }

    HVEditorTestEnvironment environment;
    std::shared_ptr<HVScriptedUserInterface> ui = HVScriptedUserInterface::install();
};

TEST_F(Completion, AnAttributeGoesInWithTheCaretBetweenItsQuotes) {
    auto view = open("cmarkup");
    type(*view, u"<a hr");
    ASSERT_TRUE(view->codeCompletionPopup().isVisible());
    EXPECT_EQ(keys(view->codeCompletionPopup()), std::vector<std::string>{"href"});

    command(*view, "insertNewline:");
    EXPECT_EQ(HVMarkedText(*view), "<a href=\"|\"");
    EXPECT_EQ(view->undoManager().undoActionName(), "Code Complete");
    command(*view, "undo:");
    EXPECT_EQ(HVMarkedText(*view), "<a hr|");
}

TEST_F(Completion, ArrowsChooseAValueAndReturnReplacesTheQuotedValue) {
    auto view = open("cmarkup", u"<p>\n");
    type(*view, u"<a target=\"_");
    HVCodeCompletionPopup& popup = view->codeCompletionPopup();
    EXPECT_EQ(keys(popup), (std::vector<std::string>{"_blank", "_self"}));
    EXPECT_EQ(selectedKey(popup), "_blank");
    popup.moveDown();
    popup.moveDown();
    EXPECT_EQ(selectedKey(popup), "_self");
    command(*view, "insertNewline:");
    EXPECT_EQ(HVMarkedText(*view), "<p>\n<a target=\"_self\"|");
    EXPECT_FALSE(popup.isVisible());
}

TEST_F(Completion, F5OpensWhatTheLanguageDoesNotSuggestAndTabVisitsThePlaceholders) {
    HVPreferences::sharedInstance().setObject("HVSuggestKeywordsAutomatically", false);
    auto view = open("cscript");
    type(*view, u"x = sub");
    EXPECT_FALSE(view->codeCompletionPopup().isVisible());

    command(*view, "complete:");
    ASSERT_TRUE(view->codeCompletionPopup().isVisible());
    EXPECT_EQ(keys(view->codeCompletionPopup()), (std::vector<std::string>{"subject", "substr"}));
    view->codeCompletionPopup().moveDown();
    command(*view, "insertTab:");
    EXPECT_EQ(HVMarkedText(*view), "x = substr(|[*string*]|, [*start*])");
    command(*view, "insertTab:");
    EXPECT_EQ(HVMarkedText(*view), "x = substr([*string*], |[*start*]|)");
}

TEST_F(Completion, WithoutThePopupReturnAndTabActAsUsual) {
    auto view = open("cscript");
    type(*view, u"qq");
    command(*view, "insertTab:");
    EXPECT_EQ(HVMarkedText(*view), "qq\t|");
}

TEST_F(Completion, EscapeACaretMoveAndAClickHideThePopup) {
    auto view = open("cmarkup");
    const HVCodeCompletionPopup& popup = view->codeCompletionPopup();
    type(*view, u"<a ");
    ASSERT_TRUE(popup.isVisible());
    command(*view, "cancelOperation:");
    EXPECT_FALSE(popup.isVisible());

    command(*view, "cancelOperation:"); // out of escape mode again
    type(*view, u"h");
    ASSERT_TRUE(popup.isVisible());
    command(*view, "moveLeft:");
    EXPECT_FALSE(popup.isVisible());

    command(*view, "complete:");
    ASSERT_TRUE(popup.isVisible());
    view->mouseDown(1, 1);
    EXPECT_FALSE(popup.isVisible());

    // What the pop-up offered belongs to the text before an undo.
    view->setSelectedRange({view->string().size(), 0});
    type(*view, u"r");
    ASSERT_TRUE(popup.isVisible());
    command(*view, "undo:");
    EXPECT_FALSE(popup.isVisible());
}

TEST_F(Completion, TypingFiltersTheOpenPopupAndDeletingKeepsItOpen) {
    auto view = open("cmarkup");
    type(*view, u"<a");
    EXPECT_EQ(keys(view->codeCompletionPopup()), (std::vector<std::string>{"a", "abbr"}));
    EXPECT_EQ(selectedKey(view->codeCompletionPopup()), "a");
    type(*view, u"b");
    EXPECT_EQ(keys(view->codeCompletionPopup()), std::vector<std::string>{"abbr"});
    command(*view, "deleteBackward:");
    EXPECT_EQ(keys(view->codeCompletionPopup()), (std::vector<std::string>{"a", "abbr"}));
}

TEST_F(Completion, ADialogsValueIsInsertedAndACancelledOneInsertsNothing) {
    std::vector<std::string> asked;
    bool answer = true;
    HVCodeCompletionUI::setPresenter(
        [&](const std::shared_ptr<HVCodeCompletionUI>& dialog, HVCodeCompletionUI::Ended ended) {
            asked.push_back(dialog->nibName());
            (*dialog->values().dictionary())["number"] = "12";
            (*dialog->values().dictionary())["units"] = "em";
            ended(answer ? 1 : 0);
        });
    auto view = open("cstyle", u"p {\n  ");
    type(*view, u"width: l");
    ASSERT_EQ(keys(view->codeCompletionPopup()), std::vector<std::string>{"length\u2026"});
    command(*view, "insertNewline:");
    // The dialog opens once the key's work is done.
    EXPECT_TRUE(asked.empty());
    HVDispatcher::main().runPending();
    EXPECT_EQ(asked, std::vector<std::string>{"units"});
    EXPECT_EQ(HVMarkedText(*view), "p {\n  width: 12em|");
    EXPECT_EQ(view->undoManager().undoActionName(), "Code Complete");

    answer = false;
    type(*view, u"; width: l");
    command(*view, "insertNewline:");
    HVDispatcher::main().runPending();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(HVMarkedText(*view), "p {\n  width: 12em; width: l|");
}

TEST_F(Completion, AChosenPropertyOffersItsValuesAtOnce) {
    auto view = open("cstyle", u"p {\n  ");
    type(*view, u"wi");
    ASSERT_EQ(keys(view->codeCompletionPopup()), std::vector<std::string>{"width"});
    command(*view, "insertNewline:");
    EXPECT_EQ(HVMarkedText(*view), "p {\n  width: |");
    EXPECT_EQ(keys(view->codeCompletionPopup()),
              (std::vector<std::string>{"auto", "length\u2026"}));
}

TEST_F(Completion, TheCallHintFollowsTheArgumentBeingTyped) {
    auto view = open("cscript");
    int told = 0;
    auto token = view->addCallHintObserver([&] { ++told; });
    type(*view, u"x = substr(s");
    ASSERT_TRUE(view->callHint());
    EXPECT_EQ(HVUnicode::utf8(view->callHint()->prototype), "substr(string, start[, length])");
    EXPECT_EQ(view->callHint()->argument, 0u);
    EXPECT_EQ(view->callHint()->argumentRange, (HVRange{7, 6}));
    type(*view, u", 1");
    EXPECT_EQ(view->callHint()->argument, 1u);
    EXPECT_EQ(view->callHint()->argumentRange, (HVRange{15, 5}));
    int before = told;
    type(*view, u")");
    EXPECT_FALSE(view->callHint());
    EXPECT_EQ(told, before + 1);
    command(*view, "moveLeft:");
    ASSERT_TRUE(view->callHint());
    EXPECT_EQ(view->callHint()->argument, 1u);
    // Just before a comma: the argument typed is the one before it.
    for (int i = 0; i < 3; ++i)
        command(*view, "moveLeft:");
    ASSERT_TRUE(view->callHint());
    EXPECT_EQ(view->callHint()->argument, 0u);
    view->removeCallHintObserver(token);
}

} // namespace
