#include "HTMLView.h"

#include "../platform/HVSeededRuns.h"
#include "HVClipboard.h"
#include "HVDispatcher.h"
#include "HVEditorTestSupport.h"
#include "HVPreferences.h"
#include "HVScriptedUserInterface.h"
#include "HVUndoManager.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

// Texts are written with the selection marked: "|" alone is the caret, two "|" enclose the
// selected text.
std::u16string unmarked(std::u16string_view marked, HVRange* selection) {
    std::u16string text;
    std::vector<std::size_t> marks;
    for (char16_t c : marked) {
        if (c == u'|')
            marks.push_back(text.size());
        else
            text += c;
    }
    if (marks.empty())
        marks.push_back(text.size());
    *selection = {marks.front(), marks.back() - marks.front()};
    return text;
}

struct Interface : HTMLViewInterfaceDelegate {
    std::vector<bool> escapes;
    std::size_t line = 0;
    std::size_t column = 0;
    void htmlViewIsEscaped(HTMLView&, bool escaped) override { escapes.push_back(escaped); }
    void htmlViewChangedToLine(HTMLView&, std::size_t l, std::size_t c) override {
        line = l, column = c;
    }
};

class Typing : public ::testing::Test {
protected:
    void SetUp() override {
        HVDispatcher::main().adoptCurrentThread();
        HVClipboard::setGeneral(&clipboard);
    }
    void TearDown() override { HVClipboard::setGeneral(nullptr); }

    std::unique_ptr<HTMLView> open(std::u16string_view text, const char* path = "page.html") {
        HVRange selection;
        auto view = HVOpenView(unmarked(text, &selection), path);
        view->setInterfaceDelegate(&interface);
        view->setSelectedRange(selection);
        return view;
    }
    static void type(HTMLView& view, std::u16string_view keys) { HVTypeKeys(view, keys); }
    static void command(HTMLView& view, const char* selector) { HVRunCommand(view, selector); }
    static void set(std::string_view key, HVPlistValue value) {
        HVPreferences::sharedInstance().setObject(key, std::move(value));
    }

    HVEditorTestEnvironment environment;
    HVMemoryClipboard clipboard;
    std::shared_ptr<HVScriptedUserInterface> ui = HVScriptedUserInterface::install();
    Interface interface;
};

const std::u16string kXHTMLDoctype =
    u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\">\n";

TEST_F(Typing, GreaterThanCompletesTheOpenElementByItsFormat) {
    struct Case {
        std::u16string before;
        std::string after;
        std::string undoName;
        const char* path = "page.html";
    };
    const Case cases[] = {
        {u"<span|", "<span>|</span>", "Tag Completion"},
        {u"<SPAN|", "<SPAN>|</SPAN>", "Tag Completion"},
        {u"<a href=\"x>y\"|", "<a href=\"x>y\">|</a>", "Tag Completion"},
        {u"<p class=\"a\" |", "<p class=\"a\">|</p>", "Tag Completion"},
        {u"<em|word|", "<em>word|</em>", "Tag Completion"},
        {u"<div|", "<div>\n\t|\n</div>", "Tag Completion"},
        {u"  <ul|", "  <ul>\n  \t|\n  </ul>", "Tag Completion"},
        {u"<br|", "<br>|", "Tag Completion"},
        {u"<br |", "<br>|", "Tag Completion"},
        {kXHTMLDoctype + u"<br|",
         "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\">\n"
         "<br />|",
         "Tag Completion"},
        {kXHTMLDoctype + u"<br/|",
         "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\">\n"
         "<br/>|",
         "Tag Completion"},
        {u"<!DOCTYPE html|", "<!DOCTYPE html>|", "Tag Completion"},
        {u"</div|", "</div>|", "Typing"},
        {u"<a title=\"x|", "<a title=\"x>|", "Typing"},
        {u"a <b> c|", "a <b> c>|", "Typing"},
        {u"<span|", "<span>|", "Typing", "notes.txt"},
        {u"<li class=\"{{ a }}\"|", "<li class=\"{{ a }}\">|</li>", "Tag Completion", "page.twig"},
        {u"<p>{{ a |", "<p>{{ a >|", "Typing", "page.twig"},
        {u"<% if a %|", "<% if a %>|", "Typing", "page.erb"},
        {u"<li class=\"<%= a %>\"|", "<li class=\"<%= a %>\">|</li>", "Tag Completion", "page.erb"},
        {u"<%@ Page Language=\"C#\" %|", "<%@ Page Language=\"C#\" %>|", "Typing", "page.aspx"},
        {u"<span|", "<span>|</span>", "Tag Completion", "Basket.vue"},
        {u"{#if a}<b|", "{#if a}<b>|</b>", "Tag Completion", "Form.svelte"},
    };
    for (const Case& c : cases) {
        auto view = open(c.before, c.path);
        type(*view, u">");
        EXPECT_EQ(HVMarkedText(*view), c.after) << HVUnicode::utf8(c.before);
        EXPECT_EQ(view->undoManager().undoActionName(), c.undoName) << HVUnicode::utf8(c.before);
        view->undo();
        HVRange selection;
        EXPECT_EQ(std::u16string(view->string()), unmarked(c.before, &selection));
        EXPECT_EQ(view->selectedRange(), selection) << HVUnicode::utf8(c.before);
    }
    set("HVXHTMLTags", true);
    auto view = open(u"<br|");
    type(*view, u">");
    EXPECT_EQ(HVMarkedText(*view), "<br />|") << "without a doctype the preference decides";
    set("HVAutoComplete", false);
    view = open(u"<span|");
    type(*view, u">");
    EXPECT_EQ(HVMarkedText(*view), "<span>|");
}

TEST_F(Typing, EscapeTakesExactlyTheNextChangeLiterally) {
    auto view = open(u"<span|");
    command(*view, "cancelOperation:");
    EXPECT_TRUE(view->escaped());
    type(*view, u">");
    EXPECT_EQ(HVMarkedText(*view), "<span>|");
    EXPECT_FALSE(view->escaped());
    type(*view, u"<b>");
    EXPECT_EQ(HVMarkedText(*view), "<span><b>|</b>");
    EXPECT_EQ(interface.escapes, (std::vector<bool>{true, false}));

    command(*view, "cancel:");
    command(*view, "_cancelKey:");
    EXPECT_FALSE(view->escaped()) << "Escape again ends it";
    view = open(u"  x {|");
    command(*view, "cancelOperation:");
    command(*view, "insertNewline:");
    EXPECT_EQ(HVMarkedText(*view), "  x {\n|");
    command(*view, "insertNewline:");
    EXPECT_EQ(HVMarkedText(*view), "  x {\n\n|");
}

TEST_F(Typing, CloseTagClosesTheInnermostOpenElement) {
    struct Case {
        std::u16string before;
        std::string after; // "" when it beeps
    };
    const Case cases[] = {
        {u"<ul>\n<li>one</li>\n|", "<ul>\n<li>one</li>\n</ul>|"},
        {u"<p>text <br> more|", "<p>text <br> more</p>|"},
        {u"<div><img src=\"a.png\"/>|", "<div><img src=\"a.png\"/></div>|"},
        {u"<div><!-- note -->|", "<div><!-- note --></div>|"},
        {u"<div><p>a</p></|", "<div><p>a</p></div>|"},
        {u"<div><|", "<div></div>|"},
        {u"<DIV>x|", "<DIV>x</DIV>|"},
        {u"<my-widget a=\"1\">|", "<my-widget a=\"1\"></my-widget>|"},
        // The open element lies further back than the first stretch the walk reads.
        {u"<div>" + std::u16string(40000, u'x') + u"<br>|",
         "<div>" + std::string(40000, 'x') + "<br></div>|"},
        {u"<div></div>|", ""},
        {u"plain|", ""},
    };
    for (const Case& c : cases) {
        auto view = open(c.before);
        int beeps = ui->beeps;
        view->undoManager().beginEventGroup();
        view->closeTag();
        view->undoManager().endEventGroup();
        if (c.after.empty()) {
            EXPECT_EQ(ui->beeps, beeps + 1) << HVUnicode::utf8(c.before);
            EXPECT_FALSE(view->undoManager().canUndo());
            continue;
        }
        EXPECT_EQ(HVMarkedText(*view), c.after);
        EXPECT_EQ(view->undoManager().undoActionName(), "Close Tag");
    }
    set("HVAutoCompleteOnType", true);
    auto view = open(u"<b>bold<|");
    type(*view, u"/");
    EXPECT_EQ(HVMarkedText(*view), "<b>bold</b>|") << "typing \"</\" closes the element";
    EXPECT_EQ(view->undoManager().undoActionName(), "Close Tag");
    view->undo();
    EXPECT_EQ(HVMarkedText(*view), "<b>bold<|");
}

TEST_F(Typing, ReturnAndTabIndent) {
    struct Case {
        std::u16string before;
        const char* key;
        bool spaces;
        std::string after;
        std::string undoName;
    };
    const Case cases[] = {
        {u"    code {|", "insertNewline:", false, "    code {\n    \t|", "Typing"},
        {u"x {|", "insertNewline:", true, "x {\n    |", "Typing"},
        {u"\t ab|cd", "insertNewline:", false, "\t ab\n\t |cd", "Typing"},
        {u"abcdef|", "insertTab:", true, "abcdef  |", "Typing"},
        {u"ab\tc|", "insertTab:", true, "ab\tc    |", "Typing"},
        {u"abc|", "insertTab:", false, "abc\t|", "Typing"},
        {u"\t\tx\n|", "insertTab:", false, "\t\tx\n\t\t|", "Auto Tab"},
        {u"x\n|", "insertTab:", false, "x\n\t|", "Typing"},
        {u"    x\n|", "insertTab:", true, "    x\n    |", "Typing"},
        {u"\t\tx\n|", "insertTab:", true, "\t\tx\n        |", "Auto Tab"},
        {u"f(|a, [*b*])", "insertTab:", false, "f(a, |[*b*]|)", ""},
        {u"a |x [*cur] [*b*]", "insertTab:", false, "a x |[*cur]| [*b*]", ""},
        {u"<img src=|\"\">", "insertTab:", false, "<img src=\"|\">", ""},
        {u"  |[*b*]", "insertTab:", false, "  \t|[*b*]", "Typing"},
        {u"|a\nb|", "insertTab:", false, "|\ta\n\tb|", "Indent Block"},
    };
    for (const Case& c : cases) {
        set("HVTabsAreSpaces", c.spaces);
        auto view = open(c.before);
        command(*view, c.key);
        EXPECT_EQ(HVMarkedText(*view), c.after) << HVUnicode::utf8(c.before);
        EXPECT_EQ(view->undoManager().undoActionName(), c.undoName) << HVUnicode::utf8(c.before);
    }
    set("HVAutoTabKey", false);
    set("HVTabsAreSpaces", false);
    auto view = open(u"  x {|");
    command(*view, "insertNewline:");
    EXPECT_EQ(HVMarkedText(*view), "  x {\n|");
    view = open(u"\tx\n|");
    command(*view, "insertTab:");
    EXPECT_EQ(HVMarkedText(*view), "\tx\n\t|");
}

TEST_F(Typing, ClosingBracketsOutdentFlashOrBeep) {
    std::vector<HVRange> flashes;
    struct Case {
        std::u16string before;
        char16_t key;
        std::string after;
        HVRange flashed; // HVNotFound: a beep
    };
    const Case cases[] = {
        {u"  if (a) {\n\tx;\n      |", u'}', "  if (a) {\n\tx;\n  }|", {9, 1}},
        {u"{\n  x |", u'}', "{\n  x }|", {0, 1}},
        {u"x |", u'}', "x }|", {HVNotFound, 0}},
        {u"f(a(b)|", u')', "f(a(b))|", {1, 1}},
        {u"a[0]|", u']', "a[0]]|", {HVNotFound, 0}},
    };
    for (const Case& c : cases) {
        auto view = open(c.before, "code.tscript");
        auto token = view->addFlashObserver([&](HVRange range) { flashes.push_back(range); });
        flashes.clear();
        int beeps = ui->beeps;
        type(*view, std::u16string_view(&c.key, 1));
        EXPECT_EQ(HVMarkedText(*view), c.after);
        if (HVRangeIsFound(c.flashed)) {
            EXPECT_EQ(flashes, std::vector<HVRange>{c.flashed}) << c.after;
            EXPECT_EQ(ui->beeps, beeps);
        } else {
            EXPECT_TRUE(flashes.empty());
            EXPECT_EQ(ui->beeps, beeps + 1) << c.after;
        }
        view->removeFlashObserver(token);
    }
    auto view = open(u"a {b (c) d} |}");
    auto token = view->addFlashObserver([&](HVRange range) { flashes.push_back(range); });
    flashes.clear();
    EXPECT_EQ(view->matchingBracketBefore(10, u'{', u'}'), (HVRange{2, 1}));
    EXPECT_EQ(view->matchingBracketAfter(3, u'{', u'}'), (HVRange{10, 1}));
    EXPECT_EQ(view->matchingBracketAfter(6, u'{', u'}'), (HVRange{10, 1}));
    int beeps = ui->beeps;
    command(*view, "moveRight:");
    EXPECT_EQ(ui->beeps, beeps + 1) << "the last brace has no match";
    EXPECT_EQ(HVMarkedText(*view), "a {b (c) d} }|");
    view->setSelectedRange({10, 0});
    command(*view, "moveRight:");
    EXPECT_EQ(flashes, std::vector<HVRange>{HVRange(2, 1)});
    EXPECT_TRUE(view->mouseDown(3, 2));
    EXPECT_EQ(HVMarkedText(*view), "a |{b (c) d}| }");
    EXPECT_FALSE(view->mouseDown(4, 2)) << "not after a bracket";
    EXPECT_FALSE(view->mouseDown(3, 1)) << "a single click";
    view->removeFlashObserver(token);
}

TEST_F(Typing, IndentAndOutdentBlocksAsOneStepEach) {
    struct Case {
        std::u16string before;
        bool indent;
        bool spaces;
        std::string after;
    };
    const Case cases[] = {
        {u"a|b\nc", true, false, "\ta|b\nc"},
        {u"|a\nb\n|c", true, false, "|\ta\n\tb\n|c"},
        {u"a|a\nb|b", true, false, "\ta|a\n\tb|b"},
        {u"a|bc|d", true, false, "\ta|bc|d"},
        {u"|ab|\n", true, true, "    |ab|\n"},
        {u"|\tab|", true, false, "|\t\tab|"},
        {u"\ta|a\n    b|b\n  c", false, true, "a|a\nb|b\n  c"},
        {u"|\ta\n\tb|", false, false, "|a\nb|"},
        {u"\t|\t|", false, false, "|\t|"},
        {u"\tab|", false, false, "ab|"},
    };
    for (const Case& c : cases) {
        set("HVTabsAreSpaces", c.spaces);
        auto view = open(c.before);
        view->undoManager().beginEventGroup();
        c.indent ? view->entabBlock() : view->detabBlock();
        view->undoManager().endEventGroup();
        EXPECT_EQ(HVMarkedText(*view), c.after) << HVUnicode::utf8(c.before);
        EXPECT_EQ(view->undoManager().undoActionName(),
                  c.indent ? "Indent Block" : "Outdent Block");
        view->undo();
        HVRange selection;
        EXPECT_EQ(std::u16string(view->string()), unmarked(c.before, &selection));
        view->redo();
        EXPECT_EQ(HVMarkedText(*view), c.after) << "redone";
    }
    set("HVTabsAreSpaces", false);
    auto view = open(u"\t|a\nb|");
    command(*view, "insertBacktab:");
    EXPECT_EQ(HVMarkedText(*view), "|a\nb|");
    view = open(u"\ta|");
    command(*view, "insertBacktab:");
    EXPECT_EQ(HVMarkedText(*view), "a|") << "the caret's line";
}

TEST_F(Typing, SmallCommands) {
    struct Case {
        std::u16string before;
        const char* selector;
        std::string after;
    };
    const Case cases[] = {
        {u"foo.bar|", "deleteWordBackward:", "foo.|"},
        {u"foo.|", "deleteWordBackward:", "|"},
        {u"a\r\n|b", "deleteWordBackward:", "a|b"},
        {u"a|b c|d", "deleteWordBackward:", "a|d"},
    };
    for (const Case& c : cases) {
        auto view = open(c.before);
        command(*view, c.selector);
        EXPECT_EQ(HVMarkedText(*view), c.after);
        EXPECT_EQ(view->undoManager().undoActionName(), "Delete");
    }
    auto view = open(u"ab|");
    int beeps = ui->beeps;
    command(*view, "copy:");
    command(*view, "cut:");
    EXPECT_EQ(ui->beeps, beeps + 2);
    EXPECT_EQ(clipboard.string(), std::nullopt);

    view = open(u"ab|c\r\nd");
    view->adoptLineBreakType(HVLineBreaks::DOS);
    command(*view, "moveToEndOfLineAndModifySelection:");
    EXPECT_EQ(HVMarkedText(*view), "ab|c|\r\nd");
    view->setSelectedRange({5, 0});
    command(*view, "moveToEndOfLineAndModifySelection:");
    EXPECT_EQ(HVMarkedText(*view), "abc\r\n|d|");

    view = open(u"one\ntw|o");
    EXPECT_EQ(interface.line, 2u);
    EXPECT_EQ(interface.column, 2u);
    EXPECT_EQ(view->tabIndex(), u"");
    set("HVTabsAreSpaces", true);
    set("HVTabSizeKey", 2);
    view = open(u"\t x|");
    EXPECT_EQ(view->tabIndex(), u"   ");
    EXPECT_EQ(view->tabSpaces(), u"  ");
}

// Each undo step with the state before it and after it, as the keys left them.
struct State {
    std::string text;
    HVRange selection;
    friend bool operator==(const State&, const State&) = default;
    friend std::ostream& operator<<(std::ostream& out, const State& state) {
        return out << state.text << " @" << state.selection.location << "+"
                   << state.selection.length;
    }
};
struct Step {
    State before;
    State after;
};
// Programmatic changes never go through completion, and undo and redo give back every text and
// selection, whatever the keys did.
TEST_F(Typing, SeededRunsOfMixedCommandsUndoAndRedoWhole) {
    set("HVAutoCompleteOnType", true);
    set("HVAutoSpecChars", true);
    // Typed one key press at a time; "[*x*]" goes in as a program's insertion.
    const std::u16string typings[] = {u"<li>", u"<div>", u"<br>",  u"<p class=\"a\">",
                                      u"<b",   u"</",    u"}",     u">",
                                      u"{",    u"()",    u"]",     u" ",
                                      u"ab",   u"\"",    u"[*x*]", u"\u00e9"};
    const char* commands[] = {"insertNewline:",
                              "insertTab:",
                              "insertBacktab:",
                              "moveLeft:",
                              "moveRight:",
                              "moveUp:",
                              "deleteBackward:",
                              "deleteWordBackward:",
                              "cancelOperation:",
                              "copy:",
                              "cut:",
                              "paste:",
                              "moveLeftAndModifySelection:",
                              "moveToBeginningOfLine:"};
    HVForEachSeed(3, [&](HVSeededRun& random) {
        auto view = open(u"<ul>\n\t<li>one</li>\n|</ul>\n");
        auto state = [&] { return State{HVUnicode::utf8(view->string()), view->selectedRange()}; };
        std::vector<Step> done;
        std::vector<Step> undone;
        HVUndoManager& undo = view->undoManager();
        std::u16string pending;
        for (int step = 0; step < 5000; ++step) {
            State before = state();
            std::size_t undoCount = undo.undoCount();
            std::size_t choice = pending.empty() ? random.below(20) : 0;
            undo.beginEventGroup();
            if (choice < 9) {
                if (pending.empty()) {
                    pending = typings[random.below(std::size(typings))];
                    if (pending == u"[*x*]") {
                        view->undoableInsertText(pending, "Insert");
                        pending.clear();
                    }
                }
                if (pending == u"\u00e9")
                    view->breakUndoCoalescing();
                if (!pending.empty()) {
                    view->insertText(pending.substr(0, 1));
                    pending.erase(0, 1);
                }
            } else if (choice < 16) {
                view->doCommandBySelector(commands[random.below(std::size(commands))]);
            } else if (choice == 16) {
                random.below(2) ? view->entabBlock() : view->detabBlock();
            } else if (choice == 17) {
                view->closeTag();
            } else if (choice == 18) {
                view->undo();
            } else {
                view->redo();
            }
            undo.endEventGroup();
            if (choice == 18 && undo.undoCount() < undoCount) {
                undone.push_back(done.back());
                done.pop_back();
                ASSERT_EQ(state(), undone.back().before) << "undo at " << random.where(step);
            } else if (choice == 19 && undo.undoCount() > undoCount) {
                done.push_back(undone.back());
                undone.pop_back();
                ASSERT_EQ(state(), done.back().after) << "redo at " << random.where(step);
            } else if (undo.undoCount() == undoCount + 2) {
                // A typed character and its entity are two steps: the one undo of the entity
                // leaves the character selected.
                State after = state();
                view->undo();
                State character = state();
                view->undo();
                ASSERT_EQ(state(), before) << random.where(step);
                view->redo();
                done.push_back({before, state()});
                done.push_back({character, after});
                view->redo();
                ASSERT_EQ(state(), after) << random.where(step);
                undone.clear();
            } else if (undo.undoCount() > undoCount) {
                done.push_back({before, state()});
                undone.clear();
            } else if (state().text != before.text) {
                // Typing that went on the step before.
                ASSERT_FALSE(done.empty()) << random.where(step);
                done.back().after = state();
            }
            if (random.below(50) == 0) {
                std::size_t at = random.below(view->string().size() + 1);
                view->setSelectedRange({at, random.below(view->string().size() - at + 1)});
            }
        }
        ASSERT_FALSE(done.empty() && undone.empty()) << "seed " << random.seed();
        const Step& first = done.empty() ? undone.back() : done.front();
        const Step& last = undone.empty() ? done.back() : undone.front();
        while (undo.canUndo())
            view->undo();
        EXPECT_EQ(state(), first.before) << "seed " << random.seed();
        while (undo.canRedo())
            view->redo();
        EXPECT_EQ(state(), last.after) << "seed " << random.seed();
    });
}

} // namespace
