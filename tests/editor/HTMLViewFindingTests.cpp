#include "HTMLView.h"

#include "HVClipboard.h"
#include "HVDispatcher.h"
#include "HVEditorTestSupport.h"
#include "HVLineNumberingRulerView.h"
#include "HVNotificationCenter.h"
#include "HVScriptedUserInterface.h"
#include "HVSearchController.h"
#include "HVUndoManager.h"

#include <gtest/gtest.h>

namespace {

struct RecordingWindow : HTMLViewInterfaceDelegate {
    void htmlViewHadError(HTMLView&, const HVError& error, bool critical) override {
        errors.push_back(error);
        criticals.push_back(critical);
    }
    std::vector<HVError> errors;
    std::vector<bool> criticals;
};

class Finding : public ::testing::Test {
protected:
    void SetUp() override {
        HVDispatcher::main().adoptCurrentThread();
        HVClipboard::setGeneral(&clipboard);
        find.setRegularExpression(false);
        find.setMatchCase(false);
        find.setReplaceString(u"");
    }
    void TearDown() override { HVClipboard::setGeneral(nullptr); }

    // A view in the test script language, whose regions are "{" to "}".
    std::unique_ptr<HTMLView> open(std::u16string_view text) {
        auto view = HVOpenView(text, "finding.tscript");
        view->setInterfaceDelegate(&window);
        return view;
    }
    void search(std::u16string_view string, std::u16string_view replacement = u"",
                bool regularExpression = false) {
        find.setRegularExpression(regularExpression);
        find.setSearchString(std::u16string(string));
        find.setReplaceString(std::u16string(replacement));
    }
    static std::u16string full(const HTMLView& view) {
        return view.textStorage().fullString({0, view.textStorage().length()});
    }

    HVEditorTestEnvironment environment;
    HVMemoryClipboard clipboard;
    std::shared_ptr<HVScriptedUserInterface> ui = HVScriptedUserInterface::install();
    HVSearchController& find = HVSearchController::sharedFind();
    RecordingWindow window;
};

TEST_F(Finding, NextAndPreviousWrapAroundAndNotFoundBeeps) {
    auto view = open(u"one two One two one");
    struct Step {
        bool next;
        HVRange expected;
    };
    // Literal: case ignored. Regular expression: previous still finds the nearest match.
    for (bool regularExpression : {false, true}) {
        search(regularExpression ? u"o\\w\\w" : u"one", u"", regularExpression);
        view->setSelectedRange({0, 0});
        const Step steps[] = {{true, {0, 3}},   {true, {8, 3}},  {true, {16, 3}}, {true, {0, 3}},
                              {false, {16, 3}}, {false, {8, 3}}, {false, {0, 3}}};
        for (const Step& step : steps) {
            EXPECT_EQ(step.next ? view->findNext() : view->findPrevious(), true);
            EXPECT_EQ(view->selectedRange(), step.expected) << "regex " << regularExpression;
        }
    }
    // A lone match that is selected stays found.
    search(u"wo One t");
    view->setSelectedRange({5, 8});
    EXPECT_EQ(view->findNext(), true);
    EXPECT_EQ(view->selectedRange(), (HVRange{5, 8}));

    search(u"three");
    EXPECT_EQ(view->findNext(), false);
    EXPECT_EQ(ui->beeps, 1);
    EXPECT_EQ(find.status(), "Not found");
    EXPECT_EQ(view->selectedRange(), (HVRange{5, 8}));
    EXPECT_EQ(HTMLView::findPanelTarget(), view.get());
}

TEST_F(Finding, MatchesInCollapsedRegionsExpandThemAndReplaceAllKeepsTheOthersFolded) {
    const std::u16string text = u"a {\nneedle\n}\nb {\nhay\n}\nneedle\n";
    auto view = open(text);
    auto collapseBoth = [&] {
        view->setSelectedRange({0, 0});
        view->collapseAllBlocks();
        ASSERT_EQ(view->string(), u"a {\uFFFC}\nb {\uFFFC}\nneedle\n");
    };
    collapseBoth();

    // Inside a region: it expands and the match is selected.
    search(u"needle");
    EXPECT_EQ(view->findNext(), true);
    EXPECT_EQ(view->string(), u"a {\nneedle\n}\nb {\uFFFC}\nneedle\n");
    EXPECT_EQ(view->selectedString(), u"needle");
    EXPECT_EQ(view->selectedRange().location, 4u);
    // Backwards from the end into the second region, across its start.
    search(u"{\nhay");
    view->setSelectedRange({view->string().size(), 0});
    EXPECT_EQ(view->findPrevious(), true);
    EXPECT_EQ(view->string(), text);
    EXPECT_EQ(view->selectedString(), u"{\nhay");

    // Replace all reaches hidden text, leaves a region without matches collapsed, and one
    // undo folds everything back.
    view->expandAllBlocks();
    collapseBoth();
    search(u"needle", u"pin");
    EXPECT_EQ(view->replaceAll(false), 2u);
    EXPECT_EQ(view->string(), u"a {\npin\n}\nb {\uFFFC}\npin\n");
    EXPECT_EQ(full(*view), u"a {\npin\n}\nb {\nhay\n}\npin\n");
    EXPECT_EQ(view->undoManager().undoActionName(), "Replace All");
    EXPECT_EQ(find.status(), "Replaced 2");
    view->undo();
    EXPECT_EQ(view->string(), u"a {\uFFFC}\nb {\uFFFC}\nneedle\n");
    EXPECT_EQ(full(*view), text);

    // Replace on a selection that is a match, then on to the next.
    search(u"needle", u"pin");
    view->setSelectedRange({0, 0});
    EXPECT_EQ(view->replaceAndFind(), true);
    EXPECT_EQ(full(*view), text) << "a caret is not a match";
    EXPECT_EQ(view->selectedRange(), (HVRange{4, 6}));
    EXPECT_EQ(view->replaceAndFind(), true);
    EXPECT_EQ(view->undoManager().undoActionName(), "Replace");
    EXPECT_EQ(full(*view), u"a {\npin\n}\nb {\nhay\n}\nneedle\n");
    EXPECT_EQ(view->selectedString(), u"needle");
}

TEST_F(Finding, ReplaceAllWithBackReferencesIsOneUndoStep) {
    const std::u16string text = u"<b>x</b> <i>y</i>\r\n<u>z</u>\r";
    auto view = open(text);
    view->setSelectedRange({9, 3});
    search(u"<(\\w)>", u"[$1]", true);
    EXPECT_EQ(view->replaceAll(false), 3u);
    EXPECT_EQ(view->string(), u"[b]x</b> [i]y</i>\r\n[u]z</u>\r");
    EXPECT_EQ(view->undoManager().undoActionName(), "Replace All");
    EXPECT_EQ(view->undoManager().undoCount(), 1u);
    view->undo();
    EXPECT_EQ(view->string(), text);
    EXPECT_EQ(view->selectedRange(), (HVRange{9, 3}));
}

TEST_F(Finding, ReplaceAllInSelectionSelectsTheResultAndKeepsMixedLineBreaks) {
    auto view = open(u"cat cat\rcat\r\ncat\ncat");
    view->setSelectedRange({4, 12});
    search(u"cat", u"dog!");
    EXPECT_EQ(view->replaceAll(true), 3u);
    EXPECT_EQ(view->string(), u"cat dog!\rdog!\r\ndog!\ncat");
    EXPECT_EQ(view->selectedRange(), (HVRange{4, 15}));
    EXPECT_EQ(view->undoManager().undoActionName(), "Replace All in Selection");

    // Matches that hold line breaks change only themselves.
    view->setSelectedRange({0, 0});
    search(u"\\r\\n?", u"|", true);
    EXPECT_EQ(view->replaceAll(false), 2u);
    EXPECT_EQ(view->string(), u"cat dog!|dog!|dog!\ncat");
}

TEST_F(Finding, QuickSearchIgnoresCaseAndReportsWhatItDidNotFind) {
    auto view = open(u"Alpha beta ALPHA");
    struct Step {
        bool again;
        bool backwards;
        std::u16string text;
        HVRange selectionBefore;
        HVRange expected;
        std::string error; // "" when found
    };
    const Step steps[] = {
        {false, false, u"alp", {0, 0}, {0, 3}, ""},
        {false, false, u"alpha", {0, 3}, {0, 5}, ""},
        {true, false, u"alpha", {0, 5}, {11, 5}, ""},
        {true, false, u"alpha", {11, 5}, {11, 5}, "No more matches"},
        {true, true, u"alpha", {11, 5}, {0, 5}, ""},
        {false, true, u"BETA", {16, 0}, {6, 4}, ""},
        {false, false, u"gamma", {3, 0}, {3, 0}, "No match"},
    };
    for (const Step& step : steps) {
        window.errors.clear();
        view->setSelectedRange(step.selectionBefore);
        bool found = step.again ? view->quickSearchAgain(step.text, step.backwards)
                                : view->quickSearch(step.text, step.backwards);
        EXPECT_EQ(found, step.error.empty());
        EXPECT_EQ(view->selectedRange(), step.expected);
        if (step.error.empty()) {
            EXPECT_EQ(window.errors.size(), 0u);
            continue;
        }
        ASSERT_EQ(window.errors.size(), 1u);
        EXPECT_EQ(window.errors[0].domain(), "com.ternwick.halvet.error");
        EXPECT_EQ(window.errors[0].code(), 8);
        EXPECT_EQ(window.errors[0].description(), step.error);
        EXPECT_EQ(window.criticals[0], false);
    }
    EXPECT_EQ(ui->beeps, 2);
}

TEST_F(Finding, FindUsingSelectionAndTheTargetGoingAway) {
    find.setRegularExpression(true);
    auto view = open(u"a (b c");
    view->setSelectedRange({2, 2});
    const void* closing = nullptr;
    auto& center = HVNotificationCenter::defaultCenter();
    HVScopedObserver observer(center, center.addObserver("HVTextViewIsClosing", nullptr,
                                                         [&](const HVNotification& notification) {
                                                             closing = notification.object;
                                                         }));
    view->findUsingSelection();
    EXPECT_EQ(find.searchString(), u"(b");
    EXPECT_EQ(find.regularExpression(), false);
    EXPECT_EQ(find.findPasteboardString(), u"(b");
    EXPECT_EQ(HTMLView::findPanelTarget(), view.get());
    const HTMLView* gone = view.get();
    view.reset();
    EXPECT_EQ(closing, gone);
    EXPECT_EQ(HTMLView::findPanelTarget(), nullptr);
}

} // namespace
