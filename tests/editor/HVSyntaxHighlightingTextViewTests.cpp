#include "HVSyntaxHighlightingTextView.h"

#include "../platform/HVSeededRuns.h"
#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVDispatcher.h"
#include "HVEditorTestSupport.h"
#include "HVFileSystem.h"
#include "HVKeywordBasedParser.h"
#include "HVNotificationCenter.h"
#include "HVParser.h"
#include "HVPreferences.h"
#include "HVSyntaxHighlighting.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace {

struct Sample {
    std::string path;
    std::u16string text;
};

std::vector<Sample> samples() {
    std::vector<Sample> found;
    for (const auto& folder : std::filesystem::directory_iterator(HVTestDataPath("highlight"))) {
        for (const auto& file : std::filesystem::directory_iterator(folder.path())) {
            std::string name = file.path().filename().string();
            if (name.rfind("sample.", 0) != 0 || file.path().extension() == ".runs" ||
                file.path().extension() == ".outline")
                continue;
            found.push_back({file.path().string(), HVUnicode::utf16(HVReadFile(file.path()))});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Sample& a, const Sample& b) { return a.path < b.path; });
    return found;
}

std::u16string withCRLF(std::u16string_view text) {
    std::u16string converted;
    for (char16_t c : text) {
        if (c == u'\n')
            converted += u'\r';
        converted += c;
    }
    return converted;
}

void runUntilIdle(const HVSyntaxHighlightingTextView& view) {
    HVDispatcher::main().runUntil([&] { return !view.hasPendingHighlighting(); }, 60);
}

// The view with a path, a visible range when given, and a text whose idle work is done.
void load(HVSyntaxHighlightingTextView& view, const std::string& path, std::u16string_view text,
          std::optional<HVRange> visible = std::nullopt) {
    view.setPath(path);
    if (visible)
        view.setVisibleRange(*visible);
    view.setString(text);
    runUntilIdle(view);
}

std::u16string repeated(std::u16string_view piece, int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

class HighlightingView : public ::testing::Test {
protected:
    void SetUp() override { HVDispatcher::main().adoptCurrentThread(); }

    // The runs of the same text painted whole by the view's parser.
    HVRunList wholePainting(HVSyntaxHighlightingTextView& view) {
        HVTextBuffer buffer(view.textStorage().string());
        auto theme = HVThemeRepository::sharedRepository().currentTheme();
        HVSyntaxHighlighting::highlightText(buffer, *view.parser(), *theme);
        return HVJoinedRuns(buffer);
    }

    void expectEqualsWhole(HVSyntaxHighlightingTextView& view) {
        EXPECT_EQ(HVFirstRunDifference(HVJoinedRuns(view.textStorage()), wholePainting(view)), "");
    }

    // Seeded random edits: a piece inserted or deleted where found, a whole line deleted or
    // copied elsewhere, a short stretch deleted, an undo or a redo. After each, once the idle
    // work is done, the view's runs equal a whole painting of the same text.
    void expectRandomEditsPaintAsWhole(HVSyntaxHighlightingTextView& view, HVSeededRun& random,
                                       const std::vector<std::u16string>& pieces, int steps) {
        for (int step = 0; step < steps; ++step) {
            const std::u16string text(view.string());
            const std::size_t length = text.size();
            const std::u16string& piece = pieces[random.below(pieces.size())];
            std::size_t at = random.below(length + 1);
            switch (random.below(6)) {
            case 0:
            case 1:
                view.replaceCharacters({at, 0}, piece, "Insert");
                break;
            case 2:
                if ((at = text.find(piece, at)) == std::u16string::npos &&
                    (at = text.find(piece)) == std::u16string::npos)
                    continue;
                view.replaceCharacters({at, piece.size()}, u"", "Delete");
                break;
            case 3: {
                HVRange line = view.textStorage().lineRangeForIndex(at);
                HVRange target = view.textStorage().lineRangeForIndex(random.below(length + 1));
                if (random.below(2))
                    view.replaceCharacters(line, u"", "Delete Line");
                else
                    view.replaceCharacters({target.location, 0},
                                           text.substr(line.location, line.length), "Copy Line");
                break;
            }
            case 4:
                view.replaceCharacters({at, std::min(length - at, random.below(12))}, u"",
                                       "Delete");
                break;
            default:
                if (random.below(2))
                    view.undo();
                else
                    view.redo();
            }
            runUntilIdle(view);
            ASSERT_EQ(HVFirstRunDifference(HVJoinedRuns(view.textStorage()), wholePainting(view)),
                      "")
                << random.where(step);
        }
    }

    HVEditorTestEnvironment environment;
};

std::u16string htmlWithScript() {
    return u"<html>\n<head>\n<script type=\"text/javascript\">\nvar s = \"</script>\";\n"
           u"function f() { return 1; }\n</script>\n<style>\np { margin: 0 }\n</style>\n"
           u"</head>\n<body class=\"x\">\n<p>text</p>\n</body>\n</html>\n";
}

// The parser in force before loc, found as the view always did: the last opener of each
// embedded language in the whole text before loc, closed by a closer outside quotes or not.
const HVParser* openSpecialsReadingTheWholePrefix(HVSyntaxHighlightingTextView& view,
                                                  std::size_t loc) {
    const HVParser* main = view.parser().get();
    const std::u16string prefix = view.textStorage().substring({0, loc});
    auto lower = [](std::u16string s) {
        for (char16_t& c : s) {
            if (c >= u'A' && c <= u'Z')
                c = char16_t(c + (u'a' - u'A'));
        }
        return s;
    };
    const std::u16string text = lower(prefix);
    // The last occurrence lying wholly in [from, to).
    auto findLast = [&](const std::u16string& literal, std::size_t from,
                        std::size_t to) -> std::optional<std::size_t> {
        if (literal.empty() || to < from || to - from < literal.size())
            return std::nullopt;
        std::size_t at = text.rfind(lower(literal), to - literal.size());
        if (at == std::u16string::npos || at < from)
            return std::nullopt;
        return at;
    };
    auto oddQuotes = [&](std::size_t from, std::size_t to, char16_t quote) {
        bool inside = false;
        for (std::size_t i = from; i < to; ++i) {
            std::size_t backslashes = 0;
            for (std::size_t j = i; j > from && text[j - 1] == u'\\'; --j)
                ++backslashes;
            if (text[i] == quote && backslashes % 2 == 0)
                inside = !inside;
        }
        return inside;
    };
    std::size_t start = 0;
    for (HVParser* subparser : main->subparsers()) {
        for (std::size_t k = 0; k < subparser->openers().size(); ++k) {
            const std::u16string& openerText = subparser->openers()[k];
            auto opener = findLast(openerText, start, loc);
            if (!opener)
                continue;
            std::u16string closer =
                k < subparser->closers().size() ? subparser->closers()[k] : std::u16string();
            auto inQuotes = [&](std::size_t at) {
                return oddQuotes(*opener, at, u'"') ||
                       (subparser->usesSingleQuotes() && oddQuotes(*opener, at, u'\''));
            };
            std::size_t afterOpener = *opener + openerText.size();
            auto found = findLast(closer, afterOpener, loc);
            while (found && inQuotes(*found))
                found = findLast(closer, afterOpener, *found);
            if (!found)
                return subparser;
            start = *found + closer.size();
        }
    }
    return main;
}

// A long script with block comments here and there, as code has.
std::u16string longScript() {
    return repeated(
        u"/* a\n   b */\nvar a = \"text\"; // note\nfunction f(x) {\n  return x * 2;\n}\n", 3000);
}

// The extent of what the view repainted while the watcher lived.
struct RepaintWatcher {
    explicit RepaintWatcher(HVSyntaxHighlightingTextView& view) : view(view) {
        token = view.addRepaintObserver([this](HVRange range) {
            from = std::min(from, range.location);
            to = std::max(to, range.end());
        });
    }
    ~RepaintWatcher() { view.removeHighlightingObserver(token); }
    // Lines from the one holding at to the last repainted one.
    std::size_t linesAfter(std::size_t at) const {
        const HVTextBuffer& text = view.textStorage();
        return text.lineNumberForIndex(std::min(to, text.length()) - 1) -
               text.lineNumberForIndex(at);
    }
    HVSyntaxHighlightingTextView& view;
    HVSyntaxHighlightingTextView::ObserverToken token = 0;
    std::size_t from = HVNotFound;
    std::size_t to = 0;
};

} // namespace

// A fresh view highlights as HTML; a path chooses the bundle by the file's name.

TEST_F(HighlightingView, APathChoosesTheBundle) {
    HVSyntaxHighlightingTextView view;
    ASSERT_NE(view.bundle(), nullptr);
    EXPECT_EQ(view.bundle()->identifier(), "text.html");
    view.setPath("/tmp/site/app.js");
    EXPECT_EQ(view.parser()->identifier(), "text.js");
    EXPECT_TRUE(view.isJS());
    EXPECT_FALSE(view.isCSS());
    view.setPath("/tmp/site/unknown.nosuchextension");
    EXPECT_EQ(view.parser()->identifier(), "text.html");
    view.setPath("/tmp/site/style.css");
    EXPECT_TRUE(view.isCSS());
}

// Runs hold their parser weakly: reloading the bundles while a view is open must leave nothing
// dangling (ASan watches), and the view moves to the new bundle when told.
TEST_F(HighlightingView, ReloadingTheBundlesLeavesNoDanglingParserAndTheViewTakesTheNewOne) {
    auto& repository = HVBundleRepository::sharedRepository();
    HVSyntaxHighlightingTextView view;
    load(view, "/tmp/site/index.html", htmlWithScript());
    std::size_t inScript = view.string().find(u"function");
    auto oldScript = HVParser::parserAtIndex(view.textStorage(), inScript);
    ASSERT_NE(oldScript, nullptr);
    EXPECT_EQ(oldScript->identifier(), "text.js");
    std::weak_ptr<HVParser> oldWeak = oldScript;
    oldScript.reset();

    repository.loadBundles();
    // The embedded language's old parser is gone; the view still holds its old HTML bundle.
    EXPECT_TRUE(oldWeak.expired());
    view.setSelectedRange({inScript, 0});
    view.insertText(u"x");
    std::set<std::string> painters;
    for (std::size_t i = 0; i < view.textStorage().length(); ++i) {
        if (auto parser = HVParser::parserAtIndex(view.textStorage(), i))
            painters.insert(parser->identifier());
    }
    EXPECT_EQ(painters, std::set<std::string>{"text.html"});
    EXPECT_EQ(view.activeParser(true)->identifier(), "text.html");

    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVBundleFileCategoriesChangedNotification));
    EXPECT_EQ(view.bundle(), repository.bundleForIdentifier("text.html"));
    EXPECT_EQ(HVParser::parserAtIndex(view.textStorage(), inScript),
              repository.bundleForIdentifier("text.js")->parser());
    view.setSelectedRange({inScript + 3, 0});
    view.insertText(u"y");
    EXPECT_EQ(view.activeParser(true), repository.bundleForIdentifier("text.js")->parser());
    expectEqualsWhole(view);
}

TEST_F(HighlightingView, TheParserAtTheCaretFollowsOpenersAndClosersOutsideQuotes) {
    HVSyntaxHighlightingTextView view;
    load(view, "/tmp/page.html", htmlWithScript());
    const std::u16string text(view.string());
    auto at = [&](std::u16string_view find) { return text.find(find); };
    // The closer inside the string does not end the script.
    EXPECT_EQ(view.checkForOpenSpecialsBefore(at(u"function"))->identifier(), "text.js");
    EXPECT_EQ(view.checkForOpenSpecialsBefore(at(u"p { margin"))->identifier(), "text.css");
    EXPECT_EQ(view.checkForOpenSpecialsBefore(at(u"<body"))->identifier(), "text.html");
    EXPECT_EQ(view.checkForOpenSpecialsBefore(at(u"<head>"))->identifier(), "text.html");

    // Moving the caret by one keeps the parser; a jump or a new line recomputes it.
    view.setSelectedRange({at(u"function"), 0});
    EXPECT_EQ(view.activeParser()->identifier(), "text.js");
    view.setSelectedRange({at(u"<body") - 1, 0});
    EXPECT_EQ(view.activeParser()->identifier(), "text.html");
    view.setSelectedRange({at(u"p { margin") + 2, 0});
    EXPECT_EQ(view.activeParser()->identifier(), "text.css");
    // Just before the closer's last character, then one step over it.
    view.setSelectedRange({at(u"</style>") + 7, 0});
    EXPECT_EQ(view.activeParser()->identifier(), "text.css");
    view.setSelectedRange({at(u"</style>") + 8, 0});
    EXPECT_EQ(view.activeParser()->identifier(), "text.css");
    EXPECT_EQ(view.activeParser(true)->identifier(), "text.html");
}

// Code between delimiters, and server-side code in a script, has no opener of its own
// language: the painting tells that it is in force. A quote typed there paints as a whole
// painting does.
TEST_F(HighlightingView, CodeBetweenDelimitersIsInForceWhereItStands) {
    struct Case {
        const char* path;
        std::u16string text, before;
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp/a.vue", u"<p>{{ total }}</p>\n<p title=\"a\">{{ b }}</p>\n", u"tal }}", "text.js"},
        {"/tmp/a.vue", u"<p>{{ total }}</p>\n<p title=\"a\">{{ b }}</p>\n", u"</p>",
         "text.html.vue"},
        {"/tmp/a.php", u"<script>a = \"<?= $total ?>\";\nb = \"<?= 1 ?>\";</script>\n", u"tal ?>",
         "text.php"},
        {"/tmp/a.php", u"<script>a = \"<?= $total ?>\";\nb = \"<?= 1 ?>\";</script>\n", u"\";</",
         "text.js"},
    };
    for (const Case& test : cases) {
        HVSyntaxHighlightingTextView view;
        load(view, test.path, test.text);
        std::size_t at = test.text.find(test.before);
        EXPECT_EQ(view.checkForOpenSpecialsBefore(at)->identifier(), test.expected)
            << HVUnicode::utf8(test.text) << " before " << HVUnicode::utf8(test.before);
        view.replaceCharacters({at, 0}, u"\"", "Typing");
        runUntilIdle(view);
        expectEqualsWhole(view);
    }
}

// The search for open regions starts at the last restart point before the caret; the answers
// are those of a search through the whole text before it, at every position of every sample.
TEST_F(HighlightingView, TheParserBeforeAPositionIsTheWholePrefixOnesEverywhereInEverySample) {
    // Positions inside embedded regions, so that the comparison is not all main parser.
    std::size_t embedded = 0;
    for (const Sample& sample : samples()) {
        SCOPED_TRACE(sample.path);
        HVSyntaxHighlightingTextView view;
        load(view, sample.path, sample.text);
        for (std::size_t loc = 0; loc <= sample.text.size(); ++loc) {
            const HVParser* found = view.checkForOpenSpecialsBefore(loc).get();
            const HVParser* whole = openSpecialsReadingTheWholePrefix(view, loc);
            if (found != view.parser().get())
                ++embedded;
            if (found == whole)
                continue;
            // The whole-prefix search also counts quotes in comments (an apostrophe in a
            // style sheet's comment keeps it open past its closer); where the answers differ,
            // the painting must side with the view's.
            auto painter = HVParser::parserAtIndex(view.textStorage(), loc > 0 ? loc - 1 : 0);
            ASSERT_EQ(found, painter.get()) << "at " << loc;
            ASSERT_NE(whole, painter.get()) << "at " << loc;
        }
    }
    EXPECT_GT(embedded, 1000u);
}

// While the painting below an edit is stale (work waiting, or edits made while inactive), the
// restart points it shows there are not believed.
TEST_F(HighlightingView, TheParserBeforeAPositionIgnoresStalePainting) {
    std::u16string text = u"<p>top</p>\n" + repeated(u"<p>line</p>\n", 3000);
    HVSyntaxHighlightingTextView view;
    load(view, "/tmp/page.html", text, HVRange{0, 100});
    view.replaceCharacters({text.find(u"\n") + 1, 0}, u"<style>\n", "Typing");
    ASSERT_TRUE(view.hasPendingHighlighting());
    EXPECT_EQ(view.checkForOpenSpecialsBefore(view.textStorage().length())->identifier(),
              "text.css");
    runUntilIdle(view);
    view.undo();
    runUntilIdle(view);
    EXPECT_EQ(view.checkForOpenSpecialsBefore(view.textStorage().length())->identifier(),
              "text.html");

    view.setActive(false);
    view.replaceCharacters({text.find(u"\n") + 1, 0}, u"<script>\n", "Typing");
    EXPECT_EQ(view.checkForOpenSpecialsBefore(view.textStorage().length())->identifier(),
              "text.js");
    view.setActive(true);
    runUntilIdle(view);
    EXPECT_EQ(view.checkForOpenSpecialsBefore(view.textStorage().length())->identifier(),
              "text.js");
}

// With the view inactive, painting is plain and the whole highlight waits for activation.

TEST_F(HighlightingView, AnInactiveViewPaintsPlainTextAndHighlightsWhenItComesForward) {
    HVSyntaxHighlightingTextView view;
    view.setPath("/tmp/a.js");
    view.setActive(false);
    view.setString(u"var a = \"s\"; // c\n");
    EXPECT_TRUE(view.hadEventWhileInactive());
    EXPECT_EQ(HVDescribeRuns(HVJoinedRuns(view.textStorage())).find("string"), std::string::npos);
    view.setActive(true);
    EXPECT_FALSE(view.hadEventWhileInactive());
    expectEqualsWhole(view);
}

TEST_F(HighlightingView, EditedLinesTurnPlainWithHighlightingOffAndAThemeChangeRecoloursAll) {
    HVSyntaxHighlightingTextView view;
    load(view, "/tmp/a.js", u"var a = 1;\nvar b = 2;\n");
    HVPreferences::sharedInstance().setObject(HVHighlightKey, false);
    view.setSelectedRange({0, 0});
    view.insertText(u"/* ");
    auto theme = HVThemeRepository::sharedRepository().currentTheme();
    // The edited line in the theme's plain colours, the next one as it was.
    const HVTextBuffer& buffer = view.textStorage();
    for (std::size_t i = 0; i < buffer.lineRangeForIndex(0).length; ++i) {
        auto attributes = buffer.attributesAtIndex(i);
        EXPECT_EQ(attributes->value(HVStyleAttribute), nullptr) << i;
        EXPECT_EQ(*attributes->color(HVForegroundColorAttribute), *theme->textColor()) << i;
    }
    EXPECT_NE(buffer.attributesAtIndex(buffer.lineRangeForIndex(0).end())->value(HVStyleAttribute),
              nullptr);
    HVPreferences::sharedInstance().setObject(HVHighlightKey, true);
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVHighlightingPrefsChangeNotification));
    expectEqualsWhole(view);

    // A theme change recolours the text and tells the colour observers.
    auto& themes = HVThemeRepository::sharedRepository();
    ASSERT_GE(themes.countOfThemes(), 2u);
    int heard = 0;
    auto token = view.addColorsObserver([&] { ++heard; });
    auto other = themes.objectInThemesAtIndex(0) == themes.currentTheme()
                     ? themes.objectInThemesAtIndex(1)
                     : themes.objectInThemesAtIndex(0);
    themes.setCurrentTheme(other);
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVHighlightingPrefsChangeNotification));
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(view.colors().background, *other->backgroundColor());
    EXPECT_EQ(view.colors().text, *other->textColor());
    EXPECT_EQ(*view.standardAttributes().color(HVForegroundColorAttribute), *other->textColor());
    expectEqualsWhole(view);
    view.removeHighlightingObserver(token);
}

// Convergence: an edit that changes how later lines are read re-paints them too.

TEST_F(HighlightingView, WorkBeyondTheVisibleLinesRunsInSlicesAndTellsTheRepaintObservers) {
    std::u16string text =
        repeated(u"var a = \"text\"; // note\nfunction f(x) { return x * 2; }\n", 1500);
    HVSyntaxHighlightingTextView view;
    view.setPath("/tmp/big.js");
    view.setVisibleRange({0, 400});
    std::vector<HVRange> repainted;
    auto token = view.addRepaintObserver([&](HVRange range) { repainted.push_back(range); });

    // The first highlight paints the visible lines now and the rest when idle.
    view.setString(text);
    EXPECT_TRUE(view.hasPendingHighlighting());
    ASSERT_FALSE(repainted.empty());
    EXPECT_GE(repainted.back().end(), 400u);
    EXPECT_LT(repainted.back().end(), text.size());
    runUntilIdle(view);
    EXPECT_FALSE(view.hasPendingHighlighting());
    EXPECT_GT(view.sliceCount(), 0u);
    EXPECT_EQ(repainted.back().end(), text.size());
    expectEqualsWhole(view);

    // A comment opened at the top reaches the end, again beyond the visible lines in slices.
    view.setSelectedRange({0, 0});
    view.insertText(u"/*");
    EXPECT_TRUE(view.hasPendingHighlighting());
    // Edits while the work waits are taken into it.
    view.setSelectedRange({text.size() / 2, 0});
    view.insertText(u"\"");
    runUntilIdle(view);
    expectEqualsWhole(view);
    EXPECT_EQ(repainted.back().end(), view.textStorage().length());
    view.undo();
    view.undo();
    runUntilIdle(view);
    expectEqualsWhole(view);
    view.removeHighlightingObserver(token);
}

// A line break in ordinary code changes nothing beyond its line: the work stops right there,
// whether it runs in idle slices or is finished at once, and so does deleting it again.
TEST_F(HighlightingView, ALineBreakInTheMiddleOfCodeRepaintsOnlyItsLines) {
    const std::u16string text = longScript();
    HVSyntaxHighlightingTextView view;
    load(view, "/tmp/big.js", text, HVRange{0, 200});
    const std::size_t line = text.find(u"  return", text.size() / 2);
    for (std::size_t at : {line + 8, line + 4, line}) {
        SCOPED_TRACE(at);
        for (bool finish : {false, true}) {
            {
                RepaintWatcher watcher(view);
                view.setSelectedRange({at, 0});
                view.insertText(u"\n");
                finish ? view.finishPendingHighlighting() : runUntilIdle(view);
                EXPECT_LE(watcher.linesAfter(at), 1u);
                EXPECT_GE(watcher.from, text.rfind(u"}", at));
            }
            expectEqualsWhole(view);
            {
                RepaintWatcher watcher(view);
                view.doCommandBySelector("deleteBackward:");
                finish ? view.finishPendingHighlighting() : runUntilIdle(view);
                EXPECT_LE(watcher.linesAfter(at), 1u);
            }
            EXPECT_EQ(view.string(), text);
            expectEqualsWhole(view);
        }
    }
}

// Property: for every sample and seeded random edits, the view's runs after each edit (once the
// idle work is done) equal a whole-text painting of the same text.
TEST_F(HighlightingView, IncrementalHighlightingEqualsWholeHighlightingForEverySample) {
    const std::vector<std::u16string> pieces = {
        u"/*", u"*/",      u"\"",   u"'",    u"<script>",    u"</script>", u"<?php",
        u"?>", u"\n",      u"\r\n", u"<!--", u"-->",         u"<style>",   u"#",
        u"//", u"<p a=\"", u"\\",   u"{",    u"}",           u"<?=",       u"{{",
        u"}}", u"{%",      u"<%",   u"%>",   u" lang=\"ts\""};
    const std::vector<Sample> all = samples();
    for (std::size_t index = 0; index < all.size(); ++index) {
        SCOPED_TRACE(all[index].path);
        HVSeededRun random(std::uint32_t(1000 + index));
        HVSyntaxHighlightingTextView view;
        // A few visible lines, so that most convergence runs in idle slices.
        load(view, all[index].path, all[index].text, HVRange{0, 200});
        expectEqualsWhole(view);
        expectRandomEditsPaintAsWhole(view, random, pieces, 40);
    }
}

// Property: a sample with CR LF line ends paints as with LF, character for character.
TEST_F(HighlightingView, CRLFPaintsTheSameAsLFForEverySample) {
    // Each character's run, its place left out.
    auto styles = [](const HVTextBuffer& buffer, bool skipCarriageReturns) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < buffer.length(); ++i) {
            if (!skipCarriageReturns || buffer.characterAtIndex(i) != u'\r')
                out.push_back(HVDescribeRun({}, *buffer.attributesAtIndex(i)));
        }
        return out;
    };
    for (const Sample& sample : samples()) {
        SCOPED_TRACE(sample.path);
        HVSyntaxHighlightingTextView unix, dos;
        load(unix, sample.path, sample.text);
        load(dos, sample.path, withCRLF(sample.text));
        EXPECT_EQ(styles(dos.textStorage(), true), styles(unix.textStorage(), false));
    }
}

TEST_F(HighlightingView, TheLeastReparseReachesBackOverMultiLineRunsOnly) {
    HVSyntaxHighlightingTextView view;
    view.setPath("/tmp/a.js");
    //                 0         1          2          3           4
    //                 0123456789012345678901 23456789 0123456789 012345678
    view.setString(u"var a = 1;\n/* one\ntwo\nthree */\nvar b = 2;\nvar c;\n");
    const std::u16string text(view.string());
    // Inside a comment that began lines above: from the comment's line.
    std::size_t inThree = text.find(u"three");
    EXPECT_EQ(view.rangeToHighlightForRange({inThree, 1}),
              HVMakeRange(text.find(u"/*"), text.find(u"var b") - text.find(u"/*")));
    // A line with no multi-line run before it: that line only.
    std::size_t inC = text.find(u"var c");
    EXPECT_EQ(view.rangeToHighlightForRange({inC + 1, 1}), HVMakeRange(inC, 7));
    // At location 0: the first line.
    EXPECT_EQ(view.rangeToHighlightForRange({0, 1}), HVMakeRange(0, 11));
}

// An edit can change how text lines above it reads, which the repaint must reach back to: a
// style sheet's "#cafe" is an id or a colour by a brace lines below it; a value left open at its
// tag runs to a double quote that comes below (typed, or freed from code by a deleted
// delimiter, on the edited lines or further), and the quotes of the code it holds between,
// which its search steps over, do not hide it.
TEST_F(HighlightingView, AnEditRepaintsTheLinesAboveWhoseReadingItChanges) {
    struct Case {
        const char* path;
        std::u16string_view text, edited, replacement;
    };
    const Case cases[] = {
        {"/tmp/a.css", u"p { left: 0; }\n#cafe,\n.x\n{ top: 0; }\n", u"{ top", u"top"},
        {"/tmp/a.scss", u"p { top: 0; }\n#cafe,\n.x\ntop: 0; }\n", u"\ntop", u"\n{ top"},
        {"/tmp/a.ejs", u"<p a=\"x>\n<b>\n<%= \"y\" %>\ntext\n", u"text", u"text\""},
        {"/tmp/a.ejs", u"<p a=\"x>\n<b>\n<%# \" %>\ntext\n", u"text", u"text\""},
        {"/tmp/a.twig", u"<p a=\"x>\n<b>\n{{ \"y\" }}\ntext\n", u"text", u"text\""},
        {"/tmp/a.ejs", u"<p a=\"x>\n<b>\n<%= \"y\" %>\ntext\n", u"<%=", u""},
        {"/tmp/a.ejs", u"<p a=\"x>\n<b>\n<%= 1\n\"y\" %>\ntext\n", u"<%=", u""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.text));
        HVSyntaxHighlightingTextView view;
        load(view, test.path, test.text);
        std::size_t at = test.text.find(test.edited);
        view.replaceCharacters({at, test.edited.size()}, std::u16string(test.replacement), "Edit");
        runUntilIdle(view);
        expectEqualsWhole(view);
    }
}

TEST_F(HighlightingView, AFirstHighlightPaintsVisibleLinesFarDownAtOnceAndTheRestWhenIdle) {
    std::u16string text = repeated(u"var a = \"text\"; // note\n", 3000) +
                          u"function visible() { return 1; }\n" + repeated(u"var b = 2;\n", 500);
    HVSyntaxHighlightingTextView view;
    view.setPath("/tmp/big.js");
    std::size_t shown = text.find(u"function visible");
    view.setVisibleRange({shown, 40});
    view.setString(text);
    EXPECT_TRUE(view.hasPendingHighlighting());
    auto style = [&](std::size_t index) {
        const HVAttributeValue* value =
            view.textStorage().attributesAtIndex(index)->value(HVStyleAttribute);
        return value ? std::get<std::string>(*value) : std::string("-");
    };
    EXPECT_NE(style(shown), "-") << "the visible keyword is painted before the work reaches it";
    std::size_t lastVar = text.rfind(u"var");
    EXPECT_EQ(style(lastVar), "-") << "lines below the visible ones wait";
    EXPECT_NE(style(0), "-") << "the work starts at the top";
    std::size_t between = text.find(u"var", text.size() / 3);
    EXPECT_EQ(style(between), "-") << "and has not painted its way down to the visible lines";
    runUntilIdle(view);
    expectEqualsWhole(view);
    EXPECT_EQ(style(lastVar), style(0));
}

// Scrolling far ahead while an edit's work still runs (a comment opened at the top of a script
// that never closes it) does not paint everything in between at once: the work goes on in
// idle slices and reaches the lines shown.
TEST_F(HighlightingView, AJumpFarAheadOfAnEditsWorkLeavesItToIdleSlices) {
    HVSyntaxHighlightingTextView view;
    load(view, "/tmp/open.js", repeated(u"var a = 1;\n", 20000), HVRange{0, 200});
    view.setSelectedRange({0, 0});
    view.insertText(u"/");
    view.insertText(u"*");
    ASSERT_TRUE(view.hasPendingHighlighting());
    const std::size_t last = view.textStorage().length() - 200;
    const HVAttributesRef before = view.textStorage().attributesAtIndex(last);
    view.setVisibleRange({last, 200});
    EXPECT_TRUE(view.hasPendingHighlighting());
    EXPECT_TRUE(*view.textStorage().attributesAtIndex(last) == *before);
    runUntilIdle(view);
    auto style = view.textStorage().attribute(HVStyleAttribute, last);
    ASSERT_TRUE(style.has_value());
    EXPECT_EQ(std::get<std::string>(*style).substr(0, 7), "comment");
    expectEqualsWhole(view);
}

// Property: a keyword language with regions (heredocs that end at their own label, regex
// literals on one line) paints after seeded random edits as a whole-text painting does.
TEST_F(HighlightingView, IncrementalHighlightingOfRegionsEqualsWholeHighlighting) {
    using Dict = HVPlistValue::Dictionary;
    using Array = HVPlistValue::Array;
    const Dict definition{
        {"format-type", "keyword"},
        {"format-id", "text.shell"},
        {"keyword-characters", "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_"},
        {"keywords", Dict{{"keyword", Array{"if", "then", "fi", "cat"}}}},
        {"quotes", Dict{{"double", "string.quoted.double"}, {"single", "string.quoted.single"}}},
        {"comments", Array{Dict{{"begin", "#"}, {"id", "comment.line"}}}},
        {"regions", Array{Dict{{"begin", "<<-?\\s*['\"]?(\\w+)['\"]?"},
                               {"end", "^\\s*\\1$"},
                               {"id", "string.unquoted.heredoc"},
                               {"multi-line", true}},
                          Dict{{"begin", "/(?![/*])"},
                               {"end", "/"},
                               {"escape", "\\"},
                               {"id", "string.regexp"}}}},
    };
    auto parser = std::make_shared<HVKeywordBasedParser>(nullptr, HVPlistValue(definition));
    ASSERT_TRUE(parser->loadErrors().empty());
    const std::vector<std::u16string> pieces = {
        u"<<EOF\n", u"<<-'END'\n", u"EOF", u"  END", u"\n", u"\r\n", u"\"",
        u"'",       u"/a\\/b/",    u"#",   u"E",     u"if", u"<<"};
    const std::u16string block = u"if cat <<EOF\nsay \"hi # no\nEOF\nfi /a\\/b\"/ # c\n"
                                 u"cat <<-'END'\n  EOF\n  END\nthen 'x'\n";
    HVForEachSeed(6, [&](HVSeededRun& random) {
        HVSyntaxHighlightingTextView view;
        view.setParser(parser);
        view.setVisibleRange({0, 120});
        view.setString(repeated(block, 60));
        runUntilIdle(view);
        expectRandomEditsPaintAsWhole(view, random, pieces, 25);
    });
}
