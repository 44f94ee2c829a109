#include "HTMLView.h"

#include "HVClipboard.h"
#include "HVDispatcher.h"
#include "HVEditorTestSupport.h"
#include "HVFoldMarkerTextAttachment.h"
#include "HVLineNumberingRulerView.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVSyntaxTestSupport.h"
#include "HVUndoManager.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// "line:state" per marker, lines counted from 1 in the visible text, and the hidden lines of a
// collapsed one: what a failure should show.
std::string describe(const HTMLView& view, const std::vector<HVFoldMarker>& markers) {
    std::string described;
    for (const HVFoldMarker& marker : markers) {
        if (!described.empty())
            described += ' ';
        described += std::to_string(view.textStorage().lineNumberForIndex(marker.glyphIndex) + 1) +
                     ':' + HVFoldStateName(marker.state);
        if (marker.state == HVFoldState::Collapsed)
            described += '+' + std::to_string(marker.numberOfLines);
    }
    return described;
}

std::string markers(const HTMLView& view) {
    return describe(view, view.rulerView().foldMarkers());
}

std::size_t lineStart(const HTMLView& view, std::size_t line) {
    return view.textStorage().rangeOfLine(line - 1).location;
}

std::u16string fullText(const HTMLView& view) {
    return view.textStorage().fullString({0, view.textStorage().length()});
}

class Folding : public ::testing::Test {
protected:
    void SetUp() override {
        HVDispatcher::main().adoptCurrentThread();
        HVClipboard::setGeneral(&clipboard);
    }
    void TearDown() override { HVClipboard::setGeneral(nullptr); }

    // A view in the test script language, whose fold patterns are "{" and "}".
    std::unique_ptr<HTMLView> open(std::u16string_view text) {
        return HVOpenView(text, "folding.tscript");
    }
    // Many small blocks, every marker found.
    std::unique_ptr<HTMLView> openBlocks(int count) {
        std::u16string text;
        for (int i = 0; i < count; ++i)
            text += u"f {\n  g();\n}\n";
        auto view = open(text);
        HVDispatcher::main().runUntil([&] { return !view->rulerView().hasPendingClassification(); },
                                      60);
        return view;
    }

    // The markers that classifying every line afresh finds.
    std::string rebuilt(HTMLView& view) {
        std::vector<HVFoldMarker> incremental = view.rulerView().foldMarkers();
        view.rulerView().updateMarkers();
        std::string whole = markers(view);
        EXPECT_EQ(describe(view, incremental), whole) << "after the last edit";
        return whole;
    }

    HVEditorTestEnvironment environment;
    HVMemoryClipboard clipboard;
};

TEST_F(Folding, ThreeLinesWithBracesCollapseToOneLineAndNumberingSkipsTheHiddenLines) {
    auto view = open(u"word {\nword\n}\nnext\n");
    EXPECT_EQ(markers(*view), "1:opener 3:closer");
    HVLineNumberingRulerView& ruler = view->rulerView();
    EXPECT_FALSE(ruler.toggleMarker(lineStart(*view, 2))) << "a line without a marker";

    ASSERT_TRUE(ruler.toggleMarker(0));
    EXPECT_EQ(view->string(), u"word {\uFFFC}\nnext\n");
    EXPECT_EQ(markers(*view), "1:collapsed+2");
    EXPECT_EQ(view->undoManager().undoActionName(), "Collapse Region");
    EXPECT_EQ(ruler.lineNumberAtIndex(0), 1u);
    EXPECT_EQ(ruler.lineNumberAtIndex(lineStart(*view, 2)), 4u);
    // The empty line after the final line break is numbered too.
    EXPECT_EQ(ruler.lineNumberAtIndex(view->textStorage().length()), 5u);

    // Saving and copying see the full text.
    EXPECT_EQ(fullText(*view), u"word {\nword\n}\nnext\n");
    view->setSelectedRange({0, 9});
    view->copy();
    EXPECT_EQ(clipboard.string(), u"word {\nword\n}\n");

    // Expanding from the marker puts the text back.
    ASSERT_TRUE(ruler.toggleMarker(0));
    EXPECT_EQ(view->string(), u"word {\nword\n}\nnext\n");
    EXPECT_EQ(view->undoManager().undoActionName(), "Expand Region");
    EXPECT_EQ(markers(*view), "1:opener 3:closer");
}

TEST_F(Folding, CollapsingFromTheCloserHidesWhatCollapsingFromTheOpenerHides) {
    const std::u16string text = u"a {\n  b { c }\n  d {\n    e\n  }\n}\nf {\n}\n";
    for (std::size_t line : {1, 3}) {
        auto fromOpener = open(text);
        auto fromCloser = open(text);
        EXPECT_EQ(markers(*fromOpener), "1:opener 3:opener 5:closer 6:closer 7:opener 8:closer");
        ASSERT_TRUE(fromOpener->rulerView().toggleMarker(lineStart(*fromOpener, line)));
        // The closer that matches: line 6 for line 1, line 5 for line 3.
        std::size_t closer = line == 1 ? 6 : 5;
        ASSERT_TRUE(fromCloser->rulerView().toggleMarker(lineStart(*fromCloser, closer)));
        EXPECT_EQ(fromCloser->string(), fromOpener->string()) << "opener on line " << line;
        HVRange region;
        auto fold = fromCloser->textStorage().nextAttachmentAfterIndex(0, &region);
        ASSERT_NE(fold, nullptr);
        EXPECT_EQ(fold->string(), fromOpener->textStorage().nextAttachmentAfterIndex(0)->string());
        EXPECT_EQ(fullText(*fromCloser), text);
        EXPECT_EQ(markers(*fromCloser), markers(*fromOpener));
    }
}

// Lines inserted above a marked line leave its marker on it, deleting a marked line drops its
// marker, and typing on either side of a collapsed region keeps the region whole.
TEST_F(Folding, EditsAroundMarkersAndCollapsedRegions) {
    auto view = open(u"a {\n}\nb {\n  c\n}\n");
    view->setSelectedRange({0, 0});
    view->insertText(u"x\ny\n");
    EXPECT_EQ(markers(*view), "3:opener 4:closer 5:opener 7:closer");
    view->setSelectedRange(view->textStorage().rangeOfLine(3));
    view->deleteBackward();
    EXPECT_EQ(markers(*view), "3:opener 4:opener 6:closer");
    ASSERT_TRUE(view->rulerView().toggleMarker(lineStart(*view, 4)));
    HVRange region;
    view->textStorage().nextAttachmentAfterIndex(0, &region);
    view->setSelectedRange({region.location, 0});
    view->insertText(u"x");
    view->setSelectedRange({region.end() + 1, 0});
    view->insertText(u"y");
    EXPECT_EQ(view->string(), u"x\ny\na {\nb {x\uFFFCy}\n");
    EXPECT_EQ(fullText(*view), u"x\ny\na {\nb {x\n  c\ny}\n");
    EXPECT_EQ(markers(*view), "3:opener 4:collapsed+2");
}

TEST_F(Folding, CollapseAllTakesTheOutermostRegionsAndExpandAllBringsThemBackWhole) {
    const std::u16string text = u"f {\n  g {\n    x\n  }\n}\nh {\n  y\n}\nz\n";
    auto view = open(text);
    HVUndoManager& undo = view->undoManager();
    view->collapseAllBlocks();
    EXPECT_EQ(view->string(), u"f {\uFFFC}\nh {\uFFFC}\nz\n");
    EXPECT_EQ(markers(*view), "1:collapsed+4 2:collapsed+2");
    EXPECT_EQ(undo.undoCount(), 1u) << "one step for the command";
    EXPECT_EQ(view->rulerView().lineNumberAtIndex(lineStart(*view, 3)), 9u);

    view->expandAllBlocks();
    EXPECT_EQ(view->string(), text) << "the inner region comes back expanded";
    EXPECT_EQ(markers(*view), "1:opener 2:opener 4:closer 5:closer 6:opener 8:closer");

    // Inner regions collapsed first stay inside the outer ones and come back collapsed when
    // expanded one level at a time.
    ASSERT_TRUE(view->rulerView().toggleMarker(lineStart(*view, 2)));
    view->collapseAllBlocks();
    EXPECT_EQ(view->string(), u"f {\uFFFC}\nh {\uFFFC}\nz\n");
    view->expandAllBlocks();
    EXPECT_EQ(view->string(), text);
    EXPECT_EQ(fullText(*view), text);

    view->undoManager().undo();
    EXPECT_EQ(view->string(), u"f {\uFFFC}\nh {\uFFFC}\nz\n");
}

TEST_F(Folding, UndoAndRedoOfFoldsBringTheHiddenTextBackAndAreNotChanges) {
    const std::u16string text = u"one {\n  two\n}\n";
    auto view = open(text);
    HVUndoManager& undo = view->undoManager();
    int changes = 0;
    undo.addChangeObserver([&](HVUndoManager::Change) { ++changes; });

    ASSERT_TRUE(view->rulerView().toggleMarker(0));
    HVRange region;
    auto fold = view->textStorage().nextAttachmentAfterIndex(0, &region);
    ASSERT_NE(fold, nullptr);
    EXPECT_EQ(fold->string(), u"\n  two\n");
    undo.undo();
    EXPECT_EQ(view->string(), text);
    EXPECT_EQ(markers(*view), "1:opener 3:closer");
    undo.redo();
    EXPECT_EQ(view->textStorage().nextAttachmentAfterIndex(0), fold) << "the same attachment";
    EXPECT_EQ(markers(*view), "1:collapsed+2");
    ASSERT_TRUE(view->doubleClickedOnAttachmentAtIndex(region.location));
    EXPECT_EQ(view->string(), text);
    undo.undo();
    EXPECT_EQ(view->textStorage().nextAttachmentAfterIndex(0), fold);
    undo.redo();
    EXPECT_EQ(view->string(), text);
    EXPECT_EQ(changes, 0) << "folding never counts as a change of the document";

    // Deleting a collapsed region is an edit; undoing it brings the region back collapsed.
    view->undoManager().undo();
    view->setSelectedRange({region.location, 1});
    view->deleteBackward();
    EXPECT_EQ(fullText(*view), u"one {}\n");
    EXPECT_EQ(changes, 1);
    undo.undo();
    EXPECT_EQ(view->textStorage().nextAttachmentAfterIndex(0), fold);
    EXPECT_EQ(fullText(*view), text);
    EXPECT_EQ(markers(*view), "1:collapsed+2");
}

TEST_F(Folding, LinesPaintedInIdleTimeGetTheirMarkersInIdleTime) {
    auto view = openBlocks(4000);
    HVLineNumberingRulerView& ruler = view->rulerView();
    EXPECT_EQ(ruler.markerCount(), 8000u);
    // An edit while lines wait keeps both right.
    view->setSelectedRange({0, 0});
    view->insertText(u"/* {\n");
    view->setSelectedRange({view->textStorage().length(), 0});
    view->insertText(u"h {\n");
    HVDispatcher::main().runUntil(
        [&] { return !view->hasPendingHighlighting() && !ruler.hasPendingClassification(); }, 60);
    rebuilt(*view);
}

TEST_F(Folding, AnEditOverManyLinesClassifiesTheLinesShownAtOnceAndTheRestInIdleTime) {
    auto view = openBlocks(4000);
    HVLineNumberingRulerView& ruler = view->rulerView();
    std::u16string text(view->string());
    // Every call opens a block, in one edit of many ranges as Replace All makes it.
    std::vector<HVRange> ranges;
    for (std::size_t i = 0; i < 4000; ++i)
        ranges.push_back({i * 13 + 6, 4});
    ASSERT_TRUE(
        view->replaceCharacters(ranges, std::vector<std::u16string>(4000, u"g {"), "Replace All"));
    EXPECT_EQ(ruler.hasPendingClassification(), true);
    auto second = ruler.markerAtGlyphIndex(lineStart(*view, 2));
    EXPECT_EQ(second ? second->state : HVFoldState::None, HVFoldState::Opener);
    auto idle = [&] {
        HVDispatcher::main().runUntil(
            [&] { return !view->hasPendingHighlighting() && !ruler.hasPendingClassification(); },
            60);
    };
    idle();
    EXPECT_EQ(ruler.markerCount(), 12000u);
    rebuilt(*view);
    view->undoManager().undo();
    idle();
    EXPECT_EQ(fullText(*view), text);
    EXPECT_EQ(ruler.markerCount(), 8000u);
    rebuilt(*view);
}

TEST_F(Folding, ANewTextDropsEveryFold) {
    auto view = open(u"a {\n}\n");
    ASSERT_TRUE(view->rulerView().toggleMarker(0));
    view->setString(u"b {\n  c {\n  }\n}\n");
    HVDispatcher::main().runUntil([&] { return !view->hasPendingHighlighting(); }, 60);
    EXPECT_EQ(view->textStorage().hasAttachments(), false);
    EXPECT_EQ(markers(*view), "1:opener 2:opener 3:closer 4:closer");
}

TEST_F(Folding, FoldCurrentBlockTogglesTheInnermostBlockAroundTheCaret) {
    auto view = open(u"a {\n  b {\n    c\n  }\n}\nd\n");
    view->setSelectedRange({lineStart(*view, 3) + 4, 0});
    ASSERT_TRUE(view->foldCurrentBlock());
    EXPECT_EQ(view->string(), u"a {\n  b {\uFFFC}\n}\nd\n");
    // On the collapsed line it expands again.
    view->setSelectedRange({lineStart(*view, 2), 0});
    ASSERT_TRUE(view->foldCurrentBlock());
    EXPECT_EQ(fullText(*view), view->string());
    view->setSelectedRange({lineStart(*view, 6), 0});
    EXPECT_FALSE(view->foldCurrentBlock()) << "no block around the last line";
}

TEST_F(Folding, PreferencesShowAndHideTheGutterAndAnInactiveEditorWaits) {
    auto view = open(u"a {\n}\n");
    HVLineNumberingRulerView& ruler = view->rulerView();
    auto& preferences = HVPreferences::sharedInstance();
    auto& center = HVNotificationCenter::defaultCenter();
    EXPECT_EQ(ruler.thickness(), 40);
    preferences.setObject("HVCodeFoldingEnabled", HVPlistValue(false));
    view->setActive(false);
    center.postNotificationName(std::string(HVCodeFoldingPrefChangedNotification));
    EXPECT_TRUE(ruler.codeFoldingEnabled()) << "postponed while inactive";
    view->setActive(true);
    EXPECT_FALSE(ruler.codeFoldingEnabled());
    EXPECT_EQ(markers(*view), "");
    EXPECT_EQ(ruler.thickness(), 40) << "line numbers still show";
    preferences.setObject("HVLineNums", HVPlistValue(false));
    center.postNotificationName(std::string(HVCodeFoldingPrefChangedNotification));
    EXPECT_EQ(ruler.thickness(), 0);
    preferences.setObject("HVCodeFoldingEnabled", HVPlistValue(true));
    center.postNotificationName(std::string(HVCodeFoldingPrefChangedNotification));
    EXPECT_EQ(ruler.thickness(), 40);
    EXPECT_EQ(markers(*view), "1:opener 2:closer");
    // A click in the marker column collapses; elsewhere it selects the line.
    ruler.mouseDown(0, false);
    EXPECT_EQ(view->selectedRange(), HVMakeRange(0, 4));
    ruler.mouseDown(0, true);
    EXPECT_EQ(view->string(), u"a {\uFFFC}\n");
}

// Random edits, collapses, expansions, undo and redo: the full text always equals a plain
// string edited the same way, and the markers kept from edit to edit equal those that
// classifying every line afresh finds. Lines inserted, deleted, split and joined around markers,
// and typing on either side of a collapsed region, are among its edits.
TEST_F(Folding, RandomEditsAndFoldsKeepTheFullTextAndTheMarkers) {
    std::mt19937 random(1306);
    const std::u16string pieces[] = {u"{", u"}", u"\n", u"x", u"{\n", u"\n}", u"  "};
    // Enough markers to fill several of the blocks they are kept in.
    std::u16string start;
    for (int i = 0; i < 40; ++i)
        start += u"a {\n  b {\n    c\n  }\n}\nd {\n}\n";
    auto view = open(start);
    HVUndoManager& undo = view->undoManager();
    undo.setGroupsByEvent(false);
    // The plain text after each undo step, and where in that history the view is.
    std::vector<std::u16string> history{fullText(*view)};
    std::size_t now = 0;
    auto pick = [&](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound)(random);
    };
    for (int step = 0; step < 600; ++step) {
        const HVTextStorage& text = view->textStorage();
        std::size_t steps = undo.undoCount();
        std::u16string plain = history[now];
        switch (pick(5)) {
        case 0:
        case 1: {
            std::size_t from = pick(text.length());
            std::size_t to = std::min(text.length(), from + pick(12));
            const std::u16string& piece = pieces[pick(std::size(pieces) - 1)];
            std::size_t fullFrom = text.fullPosition(from);
            plain.replace(fullFrom, text.fullPosition(to) - fullFrom, piece);
            view->breakUndoCoalescing();
            view->setSelectedRange({from, to - from});
            view->insertText(piece);
            break;
        }
        case 2:
        case 3: {
            const auto& all = view->rulerView().foldMarkers();
            if (!all.empty())
                view->rulerView().toggleMarker(all[pick(all.size() - 1)].glyphIndex);
            break;
        }
        case 4:
            if (undo.canUndo() && now > 0) {
                undo.undo();
                --now;
                EXPECT_EQ(fullText(*view), history[now]) << "undo at step " << step;
            }
            continue;
        default:
            if (undo.canRedo()) {
                undo.redo();
                ++now;
                EXPECT_EQ(fullText(*view), history[now]) << "redo at step " << step;
            }
            continue;
        }
        if (undo.undoCount() != steps) {
            history.resize(now + 1);
            history.push_back(plain);
            ++now;
        }
        ASSERT_EQ(fullText(*view), history[now]) << "step " << step;
        if (step % 5 == 0)
            rebuilt(*view);
    }
    EXPECT_GT(history.size(), 100u);
}

} // namespace
