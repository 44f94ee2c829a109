#include "HVClipboard.h"
#include "HVScriptedUserInterface.h"
#include "HVSeededRuns.h"
#include "HVTextBuffer.h"
#include "HVTextLineModel.h"
#include "HVTextTestSupport.h"
#include "HVTextViewDelegate.h"
#include "HVTextViewModel.h"
#include "HVUndoManager.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Texts with the selection marked: "|" is the caret, "[" and "]" the ends of a selection.
void load(HVTextViewModel& view, std::u16string_view markup) {
    std::u16string text;
    std::size_t start = HVNotFound, end = HVNotFound;
    for (char16_t c : markup) {
        if (c == u'|')
            start = end = text.size();
        else if (c == u'[')
            start = text.size();
        else if (c == u']')
            end = text.size();
        else
            text += c;
    }
    view.setString(text);
    if (start != HVNotFound)
        view.setSelectedRange({start, end - start});
}

// Control characters and everything beyond ASCII escaped, so that failures read well.
std::string readable(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\t')
            out += c == u'\r' ? "\\r" : c == u'\n' ? "\\n" : "\\t";
        else if (c < 0x80)
            out += char(c);
        else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", unsigned(c));
            out += buffer;
        }
    }
    return out;
}

std::string show(const HVTextViewModel& view) {
    std::u16string text(view.string());
    HVRange selection = view.selectedRange();
    if (selection.length == 0) {
        text.insert(selection.location, u"|");
    } else {
        text.insert(selection.end(), u"]");
        text.insert(selection.location, u"[");
    }
    return readable(text);
}

struct CommandCase {
    std::u16string_view before;
    const char* command;
    std::u16string_view after;
};

void expectCommands(std::initializer_list<CommandCase> cases) {
    for (const auto& c : cases) {
        HVTextViewModel view;
        load(view, c.before);
        EXPECT_TRUE(view.doCommandBySelector(c.command)) << c.command;
        EXPECT_EQ(show(view), readable(c.after)) << c.command << " on " << readable(c.before);
    }
}

// A view with a clipboard of its own.
struct ClipboardView : HVTextViewModel {
    HVMemoryClipboard clipboard;
    ClipboardView() { setClipboard(&clipboard); }
};

// Runs the commands in turn, each expected to leave the view showing the text beside it.
void expectSteps(HVTextViewModel& view,
                 std::initializer_list<std::pair<const char*, std::string_view>> steps) {
    for (const auto& [command, after] : steps) {
        view.doCommandBySelector(command);
        EXPECT_EQ(show(view), after) << "after " << command;
    }
}

// Logs every call, and answers as its functions say.
struct RecordingDelegate : HVTextViewDelegate {
    std::vector<std::string> log;
    std::function<bool(HVTextViewModel&, HVRange, std::u16string_view)> shouldChange;
    std::function<bool(HVTextViewModel&, std::string_view)> command;
    std::function<HVRange(HVRange)> willSelect;

    static std::string range(HVRange r) {
        return std::to_string(r.location) + "+" + std::to_string(r.length);
    }
    bool textViewShouldChangeTextInRange(HVTextViewModel& view, HVRange r,
                                         std::u16string_view replacement) override {
        log.push_back("should " + range(r) + " '" + readable(replacement) + "'");
        return shouldChange ? shouldChange(view, r, replacement) : true;
    }
    bool textViewShouldChangeTextInRanges(HVTextViewModel&, const std::vector<HVRange>& ranges,
                                          const std::vector<std::u16string>&) override {
        std::string entry = "should many";
        for (HVRange r : ranges)
            entry += " " + range(r);
        log.push_back(entry);
        return true;
    }
    void textDidChange(HVTextViewModel& view) override {
        log.push_back("changed " + range(view.lastChangeRange()));
    }
    HVRange textViewWillChangeSelection(HVTextViewModel&, HVRange oldRange,
                                        HVRange newRange) override {
        log.push_back("will select " + range(oldRange) + " -> " + range(newRange));
        return willSelect ? willSelect(newRange) : newRange;
    }
    void textViewDidChangeSelection(HVTextViewModel&, HVRange oldRange) override {
        log.push_back("did select from " + range(oldRange));
    }
    bool doCommandBySelector(HVTextViewModel& view, std::string_view selector) override {
        log.push_back("command " + std::string(selector));
        return command ? command(view, selector) : false;
    }
};

} // namespace

TEST(HVTextViewModel, CharacterMovesStepOverPairsAndClusters) {
    // a, CR LF, b, a surrogate pair, c, e with a combining accent, x.
    HVTextViewModel view;
    view.setString(u"a\r\nb\xD83D\xDE00"
                   u"ce\u0301x");
    std::vector<std::size_t> right, left;
    for (int i = 0; i < 8; ++i) {
        view.moveRight();
        right.push_back(view.selectedRange().location);
    }
    for (int i = 0; i < 8; ++i) {
        view.moveLeft();
        left.push_back(view.selectedRange().location);
    }
    EXPECT_EQ(right, (std::vector<std::size_t>{1, 3, 4, 6, 7, 9, 10, 10}));
    EXPECT_EQ(left, (std::vector<std::size_t>{9, 7, 6, 4, 3, 1, 0, 0}));
}

TEST(HVTextViewModel, SelectionsNeverSplitPairs) {
    HVTextViewModel view;
    view.setString(u"ab\r\ncd\xD83D\xDE00"
                   u"ef");
    view.setSelectedRange({3, 0});
    EXPECT_EQ(view.selectedRange(), HVMakeRange(2, 0)) << "a caret inside CR LF goes before it";
    view.setSelectedRange({3, 4});
    EXPECT_EQ(view.selectedRange(), HVMakeRange(2, 6)) << "both ends widen outwards";
    view.setSelectedRange({9, 50});
    EXPECT_EQ(view.selectedRange(), HVMakeRange(9, 1)) << "clipped to the text";
    view.setSelectedRange({50, 0});
    EXPECT_EQ(view.selectedRange(), HVMakeRange(10, 0));
}

TEST(HVTextViewModel, ExtendingMovesTheHeadAndKeepsTheAnchor) {
    HVTextViewModel view;
    load(view, u"abc|def");
    view.doCommandBySelector("moveRightAndModifySelection:");
    view.doCommandBySelector("moveRightAndModifySelection:");
    EXPECT_EQ(show(view), "abc[de]f");
    for (int i = 0; i < 3; ++i)
        view.doCommandBySelector("moveLeftAndModifySelection:");
    EXPECT_EQ(show(view), "ab[c]def") << "the selection turned over the anchor";
    expectSteps(view, {{"moveWordRightAndModifySelection:", "abc[def]"},
                       {"moveToBeginningOfDocumentAndModifySelection:", "[abc]def"},
                       {"moveRight:", "abc|def"}});
}

TEST(HVTextViewModel, VerticalMovesKeepTheGoalColumn) {
    HVTextViewModel view;
    load(view, u"abcd|ef\nab\nabcdef\nx\nabcdefgh\n\n");
    std::vector<std::size_t> down;
    for (int i = 0; i < 7; ++i) {
        view.doCommandBySelector("moveDown:");
        down.push_back(view.selectedRange().location);
    }
    EXPECT_EQ(down, (std::vector<std::size_t>{9, 14, 18, 23, 28, 29, 29}));
    view.setPageSize(3);
    std::vector<std::size_t> up;
    for (int i = 0; i < 3; ++i) {
        view.doCommandBySelector("pageUp:");
        up.push_back(view.selectedRange().location);
    }
    EXPECT_EQ(up, (std::vector<std::size_t>{18, 4, 0}))
        << "the goal of 4 lasts through the page moves; past the first line is the start";
    // Any other move sets a new goal.
    load(view, u"abcdef\nab|\nabcdef");
    expectSteps(view, {{"moveDown:", "abcdef\\nab\\nab|cdef"},
                       {"pageDownAndModifySelection:", "abcdef\\nab\\nab[cdef]"}});

    // Column 1 lands inside the first pair: the caret goes before it.
    load(view, u"\xD83D\xDE00\xD83D\xDE00\na|bc");
    view.moveUp();
    EXPECT_EQ(view.selectedRange(), HVMakeRange(0, 0));
}

TEST(HVTextViewModel, CommandsOnMarkedTexts) {
    expectCommands({
        // A selection collapses to the side moved to; an empty text stays.
        {u"a[bc]d", "moveLeft:", u"a|bcd"},
        {u"a[bc]d", "moveRight:", u"abc|d"},
        {u"|", "moveLeft:", u"|"},
        {u"|", "moveRight:", u"|"},
        // Extending by lines.
        {u"ab\r\ncd|ef\r\ngh", "moveToEndOfLineAndModifySelection:", u"ab\r\ncd[ef]\r\ngh"},
        {u"abc\r\nd|e", "moveUpAndModifySelection:", u"a[bc\r\nd]e"},
        {u"a|bc\r\nde", "moveDownAndModifySelection:", u"a[bc\r\nd]e"},
        // Word moves use word segments across lines; line moves stop at any kind of line break.
        {u"|foo_bar baz(qux", "moveWordRight:", u"foo_bar| baz(qux"},
        {u"foo_bar baz(qux|", "moveWordLeft:", u"foo_bar baz(|qux"},
        {u"end|  \r\n  next", "moveWordRight:", u"end  \r\n  next|"},
        {u"end  \r\n  |next", "moveWordLeft:", u"|end  \r\n  next"},
        {u"  |", "moveWordLeft:", u"|  "},
        {u"|  ", "moveWordRight:", u"  |"},
        {u"x = 3.14|;", "moveWordLeft:", u"x = |3.14;"},
        {u"a[bc d]e", "moveWordRight:", u"abc de|"},
        {u"ab\r\ncd|ef\r\ngh", "moveToBeginningOfLine:", u"ab\r\n|cdef\r\ngh"},
        {u"ab\r\ncd|ef\r\ngh", "moveToEndOfLine:", u"ab\r\ncdef|\r\ngh"},
        {u"ab\rcd|ef\rgh", "moveToEndOfLine:", u"ab\rcdef|\rgh"},
        {u"ab\r\n[cd]ef\r\ngh", "moveToLeftEndOfLine:", u"ab\r\n|cdef\r\ngh"},
        {u"ab\n|", "moveToEndOfLine:", u"ab\n|"},
        // Vertical moves over CR LF.
        {u"abcd|ef\r\nab\r\nabcdef", "moveDown:", u"abcdef\r\nab|\r\nabcdef"},
        {u"ab|c\r\nde", "moveUp:", u"|abc\r\nde"},
        {u"abc\r\nd|e", "moveDown:", u"abc\r\nde|"},
        {u"a[bc\r\nd]e", "moveUp:", u"|abc\r\nde"},
        // Selecting words, lines and paragraphs.
        {u"foo |bar", "selectWord:", u"foo [bar]"},
        {u"a|  b", "selectWord:", u"[a]  b"},
        {u"a | b", "selectWord:", u"a[  ]b"},
        {u"one t[wo thr]ee", "selectWord:", u"one [two three]"},
        {u"ab\r\n|\r\nef", "selectWord:", u"ab\r\n|\r\nef"},
        {u"ab\r\nc|d\r\nef", "selectLine:", u"ab\r\n[cd\r\n]ef"},
        {u"a[b\r\nc]d\r\nef", "selectLine:", u"[ab\r\ncd\r\n]ef"},
        {u"ab\r\nc|d", "selectParagraph:", u"ab\r\n[cd]"},
        // Deletions take pairs whole.
        {u"ab\r\n|cd", "deleteBackward:", u"ab|cd"},
        {u"ab\xD83D\xDE00|cd", "deleteBackward:", u"ab|cd"},
        {u"ab|\r\ncd", "deleteForward:", u"ab|cd"},
        {u"ab|\xD83D\xDE00"
         u"cd",
         "deleteForward:", u"ab|cd"},
        {u"e\u0301|", "deleteBackward:", u"e|"},
        {u"\r\n|", "deleteBackward:", u"|"},
        {u"|ab", "deleteBackward:", u"|ab"},
        {u"ab|", "deleteForward:", u"ab|"},
        {u"a[bc]d", "deleteBackward:", u"a|d"},
        {u"foo bar |", "deleteWordBackward:", u"foo |"},
        {u"foo| bar baz", "deleteWordForward:", u"foo| baz"},
        {u"ab\r\n|ef", "deleteToBeginningOfLine:", u"ab|ef"},
        {u"ab|\r\nef", "deleteToEndOfLine:", u"ab|ef"},
        {u"|", "deleteToEndOfLine:", u"|"},
        // Newlines and outdenting.
        {u"a[b]c", "insertNewline:", u"a\n|c"},
        {u"\tab\n    c|d\n  e", "insertBacktab:", u"\tab\nc|d\n  e"},
        {u"\ta[b\n      cd\n  e]f", "insertBacktab:", u"a[b\n  cd\ne]f"},
        {u"a|b", "insertBacktab:", u"a|b"},
    });
}

TEST(HVTextViewModel, ALineModelReplacesTheTextLines) {
    // Visual lines four units wide, as a wrapping view would lay them out.
    struct FixedWidthLines : HVTextLineModel {
        HVRange lineRangeForPosition(const HVTextViewModel& view,
                                     std::size_t position) const override {
            std::size_t length = view.textStorage().length();
            std::size_t start = std::min(position, length - 1) / 4 * 4;
            return {start, std::min<std::size_t>(4, length - start)};
        }
        double goalForPosition(const HVTextViewModel&, std::size_t position) const override {
            return double(position % 4);
        }
        std::size_t positionForGoal(const HVTextViewModel& view, std::size_t position,
                                    std::ptrdiff_t lines, double goal) const override {
            auto line = std::ptrdiff_t(position / 4) + lines;
            HVRange target =
                lineRangeForPosition(view, std::size_t(std::max<std::ptrdiff_t>(0, line * 4)));
            return target.location + std::min(std::size_t(goal), target.length);
        }
    };
    HVTextViewModel view;
    view.setLineModel(std::make_unique<FixedWidthLines>());
    load(view, u"a|bcdefghij");
    // Paragraphs are still the text's lines.
    expectSteps(view, {{"moveDown:", "abcde|fghij"},
                       {"moveToEndOfLine:", "abcdefgh|ij"},
                       {"moveToEndOfParagraph:", "abcdefghij|"}});
}

TEST(HVTextViewModel, OutdentingGoesByTheTabWidthAsANamedStep) {
    HVTextViewModel view;
    view.setTabWidth(2);
    load(view, u"    a|b");
    view.doCommandBySelector("insertBacktab:");
    EXPECT_EQ(show(view), "  a|b");
    EXPECT_EQ(view.undoManager().undoActionName(), "Outdent");
}

TEST(HVTextViewModel, LineBreaksThatEnterTakeTheViewsType) {
    HVMemoryClipboard clipboard;
    for (auto [type, mixed] :
         {std::pair{HVLineBreaks::DOS, false}, std::pair{HVLineBreaks::DOS, true},
          std::pair{HVLineBreaks::Mac, false}}) {
        HVTextViewModel view;
        view.setClipboard(&clipboard);
        view.adoptLineBreakType(type, mixed);
        std::string name = HVLineBreaks::nameForType(type) + std::string(mixed ? " mixed" : "");
        std::string br = type == HVLineBreaks::DOS ? "\\r\\n" : "\\r";
        load(view, u"a|b");
        view.insertText(u"1\n2\r3\r\n4");
        view.insertText(u"\n");
        view.doCommandBySelector("insertNewline:");
        clipboard.setString(u"p\nq\r");
        view.doCommandBySelector("paste:");
        EXPECT_EQ(show(view),
                  "a1" + br + "2" + br + "3" + br + "4" + br + br + "p" + br + "q" + br + "|b")
            << name;
        EXPECT_EQ(view.hasMixedLineBreaks(), mixed) << "typing does not decide for the user";
    }
}

TEST(HVTextViewModel, SettingTheLineBreakTypeIsOneUndoStepThatBringsTheOldTextBack) {
    HVTextViewModel view;
    int announced = 0;
    view.addLineBreakTypeObserver([&] { ++announced; });
    load(view, u"a\r\nb\nc|d\re\r\n");
    view.adoptLineBreakType(HVLineBreaks::DOS, true);
    EXPECT_EQ(announced, 1);
    view.setLineBreakType(HVLineBreaks::Unix);
    EXPECT_EQ(show(view), "a\\nb\\nc|d\\ne\\n") << "the caret stays between c and d";
    EXPECT_FALSE(view.hasMixedLineBreaks());
    EXPECT_EQ(view.undoManager().undoCount(), 1u);
    EXPECT_EQ(view.undoManager().undoActionName(), "Set Line Break Type");
    view.undo();
    EXPECT_EQ(show(view), "a\\r\\nb\\nc|d\\re\\r\\n") << "the mixed text comes back as it was";
    EXPECT_EQ(view.lineBreakType(), HVLineBreaks::DOS);
    EXPECT_TRUE(view.hasMixedLineBreaks());
    view.redo();
    EXPECT_EQ(show(view), "a\\nb\\nc|d\\ne\\n");
    EXPECT_EQ(view.lineBreakType(), HVLineBreaks::Unix);
    EXPECT_EQ(announced, 4);

    // A selection keeps covering the same characters, and the runs between breaks stay.
    load(view, u"x\ny[y\nz]z");
    view.textStorage().addAttribute("style", std::string("y"), {2, 2});
    view.adoptLineBreakType(HVLineBreaks::Unix);
    view.setLineBreakType(HVLineBreaks::DOS);
    EXPECT_EQ(show(view), "x\\r\\ny[y\\r\\nz]z");
    EXPECT_EQ(HVDescribeRuns(view.textStorage()), "0+3{} 3+2{style=y,} 5+4{} ");

    // A text without breaks changes only its type, undoably.
    load(view, u"plain|");
    view.setLineBreakType(HVLineBreaks::Mac);
    EXPECT_EQ(view.newlineString(), u"\r");
    view.undo();
    EXPECT_EQ(view.lineBreakType(), HVLineBreaks::DOS);
}

TEST(HVTextViewModel, AViewThatIsNotEditableRefusesTheUsersChanges) {
    auto ui = HVScriptedUserInterface::install();
    ClipboardView view;
    view.clipboard.setString(u"pasted");
    load(view, u"ab[c]d\n");
    view.setEditable(false);
    view.insertText(u"x");
    for (const char* command :
         {"deleteBackward:", "deleteWordForward:", "insertNewline:", "cut:", "paste:"})
        view.doCommandBySelector(command);
    EXPECT_FALSE(view.replaceCharacters({0, 1}, u"y", "Replace"));
    view.setLineBreakType(HVLineBreaks::DOS);
    EXPECT_EQ(show(view), "ab[c]d\\n");
    EXPECT_EQ(view.undoManager().undoCount(), 0u);
    EXPECT_EQ(ui->beeps, 8) << "one beep for every refused change";
    view.copy();
    EXPECT_EQ(view.clipboard.string(), u"c") << "reading is still allowed";
    view.setString(u"loaded");
    EXPECT_EQ(view.string(), u"loaded") << "loading a text still replaces it";
}

TEST(HVTextViewModel, WhatBreaksATypingStep) {
    HVTextViewModel view;
    HVUndoManager& undo = view.undoManager();
    view.insertText(u"a");
    view.breakUndoCoalescing();
    view.insertText(u"b");
    EXPECT_EQ(undo.undoCount(), 2u) << "breakUndoCoalescing";
    view.doCommandBySelector("copy:");
    view.insertText(u"c");
    EXPECT_EQ(undo.undoCount(), 3u) << "another command";
    view.replaceCharacters({0, 0}, u"<", "Insert");
    view.insertText(u"d");
    EXPECT_EQ(undo.undoCount(), 5u) << "another change";
    view.textStorage().replaceCharacters({0, 0}, u"!");
    view.insertText(u"e");
    EXPECT_EQ(undo.undoCount(), 6u) << "a change of the buffer behind the view's back";
    EXPECT_EQ(show(view), "!<abcde|");
    view.insertNewline();
    view.insertTab();
    view.insertText(u"f");
    EXPECT_EQ(undo.undoCount(), 6u) << "newline and tab are typing";
    view.moveLeft();
    view.insertText(u"g");
    EXPECT_EQ(undo.undoCount(), 7u) << "a move";
}

TEST(HVTextViewModel, UndoingTypingRestoresWhatItDeletedAndTheSelection) {
    HVTextViewModel view;
    // Backspacing past the start of the typing, then forward deleting: still one step.
    load(view, u"ab|cd");
    view.insertText(u"X");
    view.deleteBackward();
    view.deleteBackward();
    view.deleteForward();
    EXPECT_EQ(show(view), "a|d");
    EXPECT_EQ(view.undoManager().undoCount(), 1u);
    EXPECT_EQ(view.undoManager().undoActionName(), "Typing");
    view.undo();
    EXPECT_EQ(show(view), "ab|cd");
    view.redo();
    EXPECT_EQ(show(view), "a|d");

    // Typing over a selection brings the selection back on undo.
    load(view, u"a[bc]d");
    view.insertText(u"x");
    view.insertText(u"y");
    view.undo();
    EXPECT_EQ(show(view), "a[bc]d");
    view.redo();
    EXPECT_EQ(show(view), "axy|d");
}

TEST(HVTextViewModel, TypingAcrossKeyEventsIsOneDoneStep) {
    HVTextViewModel view;
    HVUndoManager& undo = view.undoManager();
    int count = 0;
    undo.addChangeObserver([&](HVUndoManager::Change change) {
        using Change = HVUndoManager::Change;
        count = change == Change::Cleared ? 0 : count + (change == Change::Undone ? -1 : 1);
    });
    for (char16_t c : std::u16string(u"abc")) {
        undo.beginEventGroup();
        view.insertText(std::u16string(1, c));
        undo.endEventGroup();
    }
    EXPECT_EQ(count, 1);
    // A document saves here: its text view ends the typing step.
    int saved = count;
    view.breakUndoCoalescing();
    undo.beginEventGroup();
    view.insertText(u"d");
    undo.endEventGroup();
    EXPECT_NE(count, saved);
    view.undo();
    EXPECT_EQ(count, saved);
    EXPECT_EQ(show(view), "abc|");
    view.setString(u"new");
    EXPECT_EQ(count, 0) << "a new text clears the steps";
    EXPECT_FALSE(undo.canUndo());
}

TEST(HVTextViewModel, ProgrammaticChangesAreNamedSteps) {
    HVTextViewModel view;
    HVUndoManager& undo = view.undoManager();
    load(view, u"hello [world]");
    EXPECT_TRUE(view.replaceCharacters({0, 5}, u"goodbye", "Greeting"));
    EXPECT_EQ(show(view), "goodbye [world]") << "the selection follows its text";
    EXPECT_EQ(undo.undoActionName(), "Greeting");
    EXPECT_TRUE(view.replaceCharacters(view.selectedRange(), u"moon", "Insert"));
    EXPECT_EQ(show(view), "goodbye moon|") << "replacing the selection leaves the caret after";
    view.undo();
    EXPECT_EQ(show(view), "goodbye [world]");
    view.undo();
    EXPECT_EQ(show(view), "hello [world]");

    // Two changes in an explicit group are one step, named by whoever named it last.
    load(view, u"<p>|</p>");
    undo.beginUndoGrouping();
    view.replaceCharacters({3, 0}, u"text", "Insert");
    view.replaceCharacters({0, 3}, u"<div>", "Replace");
    undo.setActionName("Wrap");
    undo.endUndoGrouping();
    EXPECT_EQ(show(view), "<div>text|</p>");
    EXPECT_EQ(undo.undoCount(), 1u);
    EXPECT_EQ(undo.undoActionName(), "Wrap");
    view.undo();
    EXPECT_EQ(show(view), "<p>|</p>");
}

TEST(HVTextViewModel, TheDelegateHearsEverythingInOrder) {
    HVTextViewModel view;
    RecordingDelegate delegate;
    load(view, u"ab|");
    view.setDelegate(&delegate);
    view.insertText(u"c");
    view.doCommandBySelector("moveLeft:");
    view.undo();
    EXPECT_EQ(delegate.log, (std::vector<std::string>{
                                "should 2+0 'c'",
                                "will select 2+0 -> 3+0",
                                "did select from 2+0",
                                "changed 2+1",
                                "command moveLeft:",
                                "will select 3+0 -> 2+0",
                                "did select from 3+0",
                                // A replay is not asked, but reported.
                                "changed 2+0",
                            }));
    EXPECT_EQ(show(view), "ab|");
}

TEST(HVTextViewModel, TheDelegateCanRefuseChangesOrEditBeforeLettingThemThrough) {
    ClipboardView view;
    RecordingDelegate delegate;
    delegate.shouldChange = [](HVTextViewModel&, HVRange, std::u16string_view text) {
        return text.find(u'x') == std::u16string_view::npos;
    };
    load(view, u"a|b");
    view.setDelegate(&delegate);
    view.insertText(u"x");
    view.clipboard.setString(u"xx");
    view.paste();
    EXPECT_FALSE(view.replaceCharacters({0, 1}, u"x", "Nope"));
    view.insertText(u"y");
    EXPECT_EQ(show(view), "ay|b");
    EXPECT_EQ(view.undoManager().undoCount(), 1u);
    EXPECT_EQ(std::count(delegate.log.begin(), delegate.log.end(), "changed 1+1"), 1);

    // As an editor does: typing ">" after a tag name and a space removes the space first.
    delegate.shouldChange = [](HVTextViewModel& v, HVRange range, std::u16string_view text) {
        if (text == u">" && range.location > 0 &&
            v.textStorage().characterAtIndex(range.location - 1) == u' ')
            v.replaceCharacters({range.location - 1, 1}, u"", "Typing");
        return true;
    };
    load(view, u"<a |");
    view.insertText(u">");
    EXPECT_EQ(show(view), "<a>|");
}

TEST(HVTextViewModel, TheDelegateCanTakeCommandsAndSteerTheSelection) {
    HVTextViewModel view;
    RecordingDelegate delegate;
    delegate.command = [](HVTextViewModel& v, std::string_view selector) {
        if (selector != "insertNewline:")
            return false;
        v.replaceCharacters(v.selectedRange(), u"<br>", "Line Break");
        return true;
    };
    // Keeps the selection out of a two-character prompt at the start.
    delegate.willSelect = [](HVRange range) {
        return range.location < 2 ? HVRange{2, range.end() > 2 ? range.end() - 2 : 0} : range;
    };
    load(view, u"> ab|");
    view.setDelegate(&delegate);
    EXPECT_TRUE(view.doCommandBySelector("insertNewline:"));
    EXPECT_EQ(show(view), "> ab<br>|");
    EXPECT_EQ(view.undoManager().undoActionName(), "Line Break");
    expectSteps(view, {{"moveToBeginningOfDocument:", "> |ab<br>"}, {"selectAll:", "> [ab<br>]"}});
    EXPECT_FALSE(view.doCommandBySelector("noSuchCommand:"));
}

TEST(HVTextViewModel, CutCopyAndPasteGoThroughTheClipboard) {
    ClipboardView view;
    HVUndoManager& undo = view.undoManager();
    load(view, u"one |two three");
    view.doCommandBySelector("copy:");
    EXPECT_FALSE(view.clipboard.string()) << "nothing selected, nothing copied";
    view.doCommandBySelector("paste:");
    EXPECT_EQ(undo.undoCount(), 0u) << "an empty clipboard pastes nothing";

    load(view, u"one [two ]three");
    view.doCommandBySelector("copy:");
    EXPECT_EQ(view.clipboard.string(), u"two ");
    view.doCommandBySelector("cut:");
    EXPECT_EQ(show(view), "one |three");
    EXPECT_EQ(undo.undoActionName(), "Cut");
    view.doCommandBySelector("moveToEndOfDocument:");
    view.doCommandBySelector("paste:");
    EXPECT_EQ(show(view), "one threetwo |");
    EXPECT_EQ(undo.undoActionName(), "Paste");
    view.doCommandBySelector("selectAll:");
    view.clipboard.setString(u"\xD83D\xDE00");
    view.doCommandBySelector("paste:");
    EXPECT_EQ(show(view), "\\uD83D\\uDE00|");
    view.undo();
    EXPECT_EQ(show(view), "[one threetwo ]") << "undo brings back the selection it replaced";
    view.undo();
    view.undo();
    EXPECT_EQ(show(view), "one [two ]three");
}

TEST(HVTextViewModel, EditsOfTheBufferMoveTheSelection) {
    HVTextViewModel view;
    load(view, u"abc[de]f");
    view.textStorage().replaceCharacters({0, 1}, u"XYZ");
    EXPECT_EQ(show(view), "XYZbc[de]f");
    view.textStorage().replaceCharacters({6, 3}, u"");
    EXPECT_EQ(show(view), "XYZbc[d]") << "the end inside the deleted text goes to its end";
    view.textStorage().setString(u"");
    EXPECT_EQ(show(view), "|");
}

TEST(HVTextViewModel, UndoStepsOutliveTheirView) {
    HVUndoManager undo;
    {
        HVTextViewModel view;
        view.setUndoManager(&undo);
        view.insertText(u"abc");
    }
    EXPECT_TRUE(undo.canUndo());
    EXPECT_TRUE(undo.undo()) << "the step is gone with the view, harmlessly";
}

TEST(HVTextViewModel, EveryCommandIsReachableByItsName) {
    auto names = HVTextViewModel::commandSelectors();
    EXPECT_GE(names.size(), 60u);
    for (const auto& name : names) {
        ClipboardView view;
        view.clipboard.setString(u"\r\n");
        load(view, u"a[b\r\n\xD83D\xDE00 c]d\r\n\te\u0301");
        EXPECT_TRUE(view.doCommandBySelector(name)) << name;
        HVRange selection = view.selectedRange();
        for (std::size_t end : {selection.location, selection.end()}) {
            std::u16string_view text = view.string();
            bool split = end > 0 && end < text.size() &&
                         ((text[end - 1] == u'\r' && text[end] == u'\n') ||
                          (text[end] >= 0xDC00 && text[end] <= 0xDFFF));
            EXPECT_FALSE(split) << name << " left " << show(view);
        }
    }
    EXPECT_FALSE(HVTextViewModel::respondsToSelector("moveRight"));
}

namespace {

// A text whose runs carry a style and a collapsed region's attachment.
std::shared_ptr<const HVTextAttachment> loadAttributed(HVTextViewModel& view,
                                                       std::u16string_view markup) {
    load(view, markup);
    HVTextBuffer& text = view.textStorage();
    std::shared_ptr<const HVTextAttachment> fold =
        std::make_shared<HVTestTextAttachment>(u"{\n  body\n}");
    text.addAttribute("style", std::string("name"), {0, 2});
    text.addAttribute(HVAttachmentAttribute, fold, {2, 1});
    text.addAttribute("style", std::string("tail"), {3, 2});
    return fold;
}

} // namespace

TEST(HVTextViewModel, UndoPutsBackTheRunsAndTheAttachmentThatAnEditRemoved) {
    // The seeded run below takes each command alone; typing that deletes back past where it
    // began joins what it removed to the step.
    const std::pair<std::u16string_view, std::vector<const char*>> cases[] = {
        {u"a[b#c]d", {"cut:"}},
        {u"ab#c|d", {"insertTab:", "deleteBackward:", "deleteBackward:", "deleteBackward:"}},
    };
    for (const auto& [before, commands] : cases) {
        ClipboardView view;
        auto fold = loadAttributed(view, before);
        std::string runs = HVDescribeRuns(view.textStorage());
        std::string shown = show(view);
        for (const char* command : commands)
            view.doCommandBySelector(command);
        std::string edited = HVDescribeRuns(view.textStorage());
        ASSERT_NE(edited, runs) << shown;
        view.undo();
        EXPECT_EQ(HVDescribeRuns(view.textStorage()), runs) << shown;
        EXPECT_EQ(show(view), shown);
        EXPECT_EQ(view.textStorage().attributesAtIndex(2)->attachment(), fold) << shown;
        view.redo();
        EXPECT_EQ(HVDescribeRuns(view.textStorage()), edited) << shown;
        view.undo();
        EXPECT_EQ(HVDescribeRuns(view.textStorage()), runs) << shown;
    }
}

TEST(HVTextViewModel, RandomEditsUndoAndRedoWithTheirRuns) {
    HVForEachSeed(20, [](HVSeededRun& random) {
        ClipboardView view;
        HVTextBuffer& text = view.textStorage();
        std::u16string initial;
        const std::u16string alphabet = u"ab  \t\n";
        for (std::size_t i = 0; i < 60; ++i)
            initial += alphabet[random.below(alphabet.size())];
        view.setString(initial);
        for (int i = 0; i < 12; ++i) {
            std::size_t at = random.below(text.length());
            if (i % 3 == 0)
                text.addAttribute(HVAttachmentAttribute,
                                  std::make_shared<const HVTestTextAttachment>(u"hidden\n"),
                                  {at, 1});
            else
                text.addAttribute("style", std::string(1, char('p' + i)),
                                  {at, random.below(8) + 1});
        }
        // The selection is left out: undo restores the one before the step, set at random.
        auto state = [&] { return readable(view.string()) + " " + HVDescribeRuns(text); };
        std::vector<std::string> states{state()};
        for (int step = 0; step < 40; ++step) {
            std::size_t length = text.length();
            std::size_t from = random.below(length + 1);
            view.setSelectedRange({from, random.below(length - from + 1) % 6});
            view.breakUndoCoalescing();
            std::size_t count = view.undoManager().undoCount();
            // Typing, the editing commands, and a change of two ranges at once.
            const char* commands[] = {
                "deleteBackward:", "deleteForward:", "deleteWordBackward:", "cut:",
                "paste:",          "insertBacktab:"};
            std::size_t choice = random.below(8);
            if (choice == 0) {
                view.insertText(u"xy");
            } else if (choice <= std::size(commands)) {
                view.doCommandBySelector(commands[choice - 1]);
            } else {
                std::size_t a = random.below(length + 1), b = random.below(length + 1);
                if (a > b)
                    std::swap(a, b);
                view.replaceCharacters({{0, std::min<std::size_t>(a, 1)}, {b, 0}}, {u"<", u">"},
                                       "Wrap");
            }
            if (view.undoManager().undoCount() > count)
                states.push_back(state());
        }
        for (std::size_t i = states.size() - 1; i > 0; --i) {
            ASSERT_EQ(state(), states[i]) << random.where(int(i));
            ASSERT_TRUE(view.undoManager().undo());
        }
        EXPECT_EQ(state(), states[0]) << "seed " << random.seed();
        for (std::size_t i = 1; i < states.size(); ++i) {
            ASSERT_TRUE(view.undoManager().redo());
            EXPECT_EQ(state(), states[i]) << random.where(int(i));
        }
    });
}

TEST(HVTextViewModel, OutdentingManyLinesIsOneEditThatKeepsTheRunsItDoesNotChange) {
    HVTextViewModel view;
    RecordingDelegate delegate;
    load(view, u"[    ab\n\tcd\nef]");
    view.setDelegate(&delegate);
    HVTextBuffer& text = view.textStorage();
    text.addAttribute("style", std::string("one"), {4, 2});
    text.addAttribute("style", std::string("two"), {8, 2});
    int notifications = 0;
    auto token = text.addObserver([&](const HVTextEdit&) { ++notifications; });
    std::string runs = HVDescribeRuns(text);
    view.doCommandBySelector("insertBacktab:");
    text.removeObserver(token);
    EXPECT_EQ(show(view), "[ab\\ncd\\nef]");
    EXPECT_EQ(HVDescribeRuns(text), "0+2{style=one,} 2+1{} 3+2{style=two,} 5+3{} ");
    std::vector<std::string> questions;
    std::copy_if(delegate.log.begin(), delegate.log.end(), std::back_inserter(questions),
                 [](const std::string& entry) { return entry.starts_with("should"); });
    EXPECT_EQ(questions, std::vector<std::string>{"should many 0+4 7+1"}) << "one question";
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(view.undoManager().undoCount(), 1u);
    view.undo();
    EXPECT_EQ(show(view), "[    ab\\n\\tcd\\nef]");
    EXPECT_EQ(HVDescribeRuns(text), runs);
}

TEST(HVTextViewModel, TypingNeverCopiesAnAttachmentAndTheClipboardGetsTheFullText) {
    ClipboardView view;
    auto fold = loadAttributed(view, u"ab#|cd");
    view.insertText(u"x");
    EXPECT_EQ(show(view), "ab#x|cd");
    const HVTextBuffer& text = view.textStorage();
    EXPECT_EQ(text.attributesAtIndex(2)->attachment(), fold);
    EXPECT_EQ(text.attributesAtIndex(3)->attachment(), nullptr);
    view.setSelectedRange({2, 1});
    view.insertText(u"z");
    EXPECT_EQ(text.attributesAtIndex(2)->attachment(), nullptr);
    EXPECT_EQ(show(view), "abz|xcd");

    loadAttributed(view, u"a[b#c]d");
    view.doCommandBySelector("copy:");
    EXPECT_EQ(view.clipboard.string(), u"b{\n  body\n}c");
    view.clipboard.setString(u"");
    view.doCommandBySelector("cut:");
    EXPECT_EQ(view.clipboard.string(), u"b{\n  body\n}c");
    EXPECT_EQ(show(view), "a|d");
}
