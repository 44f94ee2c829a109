#include "HTMLView.h"

#include "HVCodeNavParser.h"
#include "HVCodeNavigation.h"
#include "HVDispatcher.h"
#include "HVEditorTestSupport.h"
#include "HVLineNumberingRulerView.h"
#include "HVScriptedUserInterface.h"

#include <gtest/gtest.h>

namespace {

std::u16string selectedFullText(const HTMLView& view) {
    return view.textStorage().fullString(view.selectedRange());
}

class Navigation : public ::testing::Test {
protected:
    void SetUp() override { HVDispatcher::main().adoptCurrentThread(); }

    std::unique_ptr<HTMLView> open(std::u16string_view text, const char* path = "nav.tscript") {
        return HVOpenView(text, path);
    }

    // Collapses the region that opens on the 1-based visible line.
    static void collapseAt(HTMLView& view, std::size_t line) {
        std::size_t start = view.textStorage().rangeOfLine(line - 1).location;
        ASSERT_TRUE(view.rulerView().toggleMarker(start)) << "line " << line;
    }

    HVEditorTestEnvironment environment;
    std::shared_ptr<HVScriptedUserInterface> ui = HVScriptedUserInterface::install();
};

TEST_F(Navigation, GotoLineSelectsTheLineAndBeepsOutsideTheText) {
    auto view = open(u"one\r\ntwo\rthree\nfour");
    struct Case {
        std::u16string_view input;
        std::u16string_view selected;
        int beeps;
    } cases[] = {
        {u"1", u"one\r\n", 0},   {u"2", u"two\r", 0},    {u"3", u"three\n", 0},
        {u" 4x", u"four", 0},    {u"5", u"four", 1},     {u"0", u"one\r\n", 1},
        {u"abc", u"one\r\n", 1}, {u"-3", u"one\r\n", 1}, {u"99999999999999999999999", u"four", 1},
    };
    for (const Case& c : cases) {
        ui->beeps = 0;
        view->setSelectedRange({0, 0});
        EXPECT_TRUE(view->gotoLineFromString(c.input));
        EXPECT_EQ(selectedFullText(*view), c.selected)
            << std::string(c.input.begin(), c.input.end());
        EXPECT_EQ(ui->beeps, c.beeps) << std::string(c.input.begin(), c.input.end());
    }
    view->setSelectedRange({2, 0});
    EXPECT_FALSE(view->gotoLineFromString(u""));
    EXPECT_EQ(view->selectedRange(), (HVRange{2, 0})) << "an empty string does nothing";

    std::size_t count = 0;
    EXPECT_EQ(view->rangeForLineNumber(7, &count), (HVRange{15, 4}));
    EXPECT_EQ(count, 4u);
    view->selectLine(3, 2);
    EXPECT_EQ(selectedFullText(*view), u"two\rthree\n");

    auto empty = open(u"");
    ui->beeps = 0;
    empty->gotoLine(1);
    EXPECT_EQ(empty->selectedRange(), (HVRange{0, 0}));
    EXPECT_EQ(ui->beeps, 0) << "line 1 of an empty text exists";
}

TEST_F(Navigation, LinesCountTheFullTextAndALineInsideACollapsedRegionExpandsIt) {
    const std::u16string text = u"a {\nb\nc {\nd\n}\n}\ne\n";
    auto view = open(text);
    collapseAt(*view, 1);
    ASSERT_EQ(view->textStorage().string(), u"a {\uFFFC}\ne\n");

    view->gotoLine(7);
    EXPECT_EQ(selectedFullText(*view), u"e\n") << "numbers of the full text";
    EXPECT_EQ(view->textStorage().length(), 8u) << "a line outside stays collapsed";

    view->gotoLine(1);
    EXPECT_EQ(selectedFullText(*view), u"a {\nb\nc {\nd\n}\n")
        << "a line whose end is hidden takes in the whole region";
    EXPECT_EQ(view->textStorage().length(), 8u);

    view->gotoLine(4);
    EXPECT_EQ(selectedFullText(*view), u"d\n");
    EXPECT_EQ(view->textStorage().string(), text);
    EXPECT_EQ(view->textStorage().fullString({0, view->textStorage().length()}), text);
}

TEST_F(Navigation, ShowRangeExpandsNestedRegionsAndPositionsAfterARegionShift) {
    const std::u16string text = u"x {\n1\n}\ny {\nz {\n2\n}\n}\n";
    auto view = open(text);
    collapseAt(*view, 5); // z's region, inside y's
    collapseAt(*view, 4); // y's region holds z's collapsed one
    collapseAt(*view, 1);
    ASSERT_EQ(view->textStorage().string(), u"x {\uFFFC}\ny {\uFFFC}\n");

    std::vector<HVRange> scrolled;
    view->addScrollRequestObserver([&](HVRange range) { scrolled.push_back(range); });
    std::size_t two = text.find(u'2');
    view->showRange({two, 1});
    EXPECT_EQ(view->textStorage().string(), u"x {\uFFFC}\ny {\nz {\n2\n}\n}\n")
        << "both regions around the place open, the one before stays";
    EXPECT_EQ(view->textStorage().string().substr(view->selectedRange().location, 1), u"2");
    ASSERT_FALSE(scrolled.empty());
    EXPECT_EQ(scrolled.back(), view->selectedRange());

    view->setSelectedRange({text.find(u'y'), 1}, true);
    EXPECT_EQ(selectedFullText(*view), u"y");
    view->setSelectedRange({3, 0}, false);
    EXPECT_EQ(view->selectedRange(), (HVRange{3, 0})) << "without expanding, visible positions";
}

TEST_F(Navigation, CodeNavItemsKeepFullTextRangesWhenFoldedAndFollowEdits) {
    HVCodeNavParser::registerWithBundles();
    auto view = open(u"<html>\n<body>\n<h1>Title</h1>\n<a name=\"top\"></a>\n</body>\n</html>\n",
                     "nav.html");
    auto first = view->codeNavItems();
    ASSERT_FALSE(first.empty()) << "the HTML bundle names headings and anchors";
    view->rulerView().updateMarkers();
    collapseAt(*view, 2);
    auto afterCollapse = view->codeNavItems();
    EXPECT_EQ(afterCollapse, first) << "ranges stay in the full text";

    view->setSelectedRange({0, 0});
    view->insertText(u"<h2>New</h2>\n");
    auto edited = view->codeNavItems();
    ASSERT_EQ(edited.size(), first.size() + 1) << "an edit is seen";
    EXPECT_EQ(edited.back().range.location, first.back().range.location + 13);
}

} // namespace
