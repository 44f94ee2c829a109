#include "HVSearchController.h"

#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVSearch.h"

#include <gtest/gtest.h>

namespace {

class SearchController : public ::testing::Test {
protected:
    void SetUp() override {
        controller.setRegularExpression(false);
        controller.setMatchCase(false);
        controller.setReplaceString(u"");
        controller.setSearchString(u"");
        controller.setStatus({});
    }
    HVSearchController& controller = HVSearchController::sharedFind();
};

TEST_F(SearchController, ValidationGivesTheExpressionsOwnReasonAndOffset) {
    struct Case {
        std::u16string search;
        bool regularExpression;
        bool valid;
        std::string status;
        std::string detail;
    };
    const Case cases[] = {
        {u"", false, false, "", ""},
        {u"(abc", false, true, "", ""},
        {u"(abc", true, false, "Invalid search regular expression",
         "missing closing parenthesis at offset 4"},
        {u"a[b", true, false, "Invalid search regular expression",
         "missing terminating ] for character class at offset 3"},
        {u"(a)\\1", true, true, "", ""},
    };
    for (const Case& c : cases) {
        controller.setRegularExpression(c.regularExpression);
        controller.setSearchString(c.search);
        SCOPED_TRACE(std::string(c.search.begin(), c.search.end()));
        EXPECT_EQ(controller.valid(), c.valid);
        EXPECT_EQ(controller.status(), c.status);
        EXPECT_EQ(controller.statusDetail(), c.detail);
        EXPECT_EQ(controller.search() != nullptr, c.valid);
    }
    // Switching the mode off makes the same string valid, and clears the complaint.
    controller.setSearchString(u"(abc");
    int changes = 0;
    auto token = controller.addObserver([&] { ++changes; });
    controller.setRegularExpression(false);
    EXPECT_EQ(controller.valid(), true);
    EXPECT_EQ(controller.status(), "");
    EXPECT_EQ(changes, 1);
    controller.removeObserver(token);
    controller.setMatchCase(true);
    EXPECT_EQ(changes, 1);
}

TEST_F(SearchController, SearchFollowsTheFieldsAndOptionsAreWrittenAtOnce) {
    auto& preferences = HVPreferences::sharedInstance();
    controller.setRegularExpression(true);
    controller.setMatchCase(true);
    EXPECT_EQ(preferences.boolForKey("HVDoGrepKey"), true);
    EXPECT_EQ(preferences.boolForKey("HVDoMatchCaseKey"), true);
    controller.setSearchString(u"<(\\w+)>");
    controller.setReplaceString(u"[$1]");
    auto search = controller.search();
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->isRegularExpression(), true);
    EXPECT_EQ(search->caseSensitive(), true);
    EXPECT_EQ(search->replacementForString(u"<em>"), u"[em]");

    auto literal = HVSearch::initWithSearchString(u"Word");
    literal->setReplaceString(u"term");
    controller.setSearch(*literal);
    EXPECT_EQ(controller.regularExpression(), false);
    EXPECT_EQ(controller.matchCase(), false);
    EXPECT_EQ(controller.searchString(), u"Word");
    EXPECT_EQ(controller.replaceString(), u"term");
    EXPECT_EQ(preferences.boolForKey("HVDoGrepKey"), false);
    EXPECT_EQ(controller.search()->firstMatchInString(u"a word").location, 2u);
}

TEST_F(SearchController, HistoryKeepsTenWithoutDuplicatesNewestFirst) {
    for (int i = 0; i < 12; ++i)
        controller.remember(u"s" + std::u16string(1, char16_t(u'a' + i)), "HVSearchHistory");
    controller.remember(u"sc", "HVSearchHistory");
    auto history = controller.history("HVSearchHistory");
    ASSERT_EQ(history.size(), 10u);
    EXPECT_EQ(history[0], u"sc");
    EXPECT_EQ(history[1], u"sl");
    EXPECT_EQ(history[9], u"sd");

    controller.setSearchString(u"find");
    controller.setReplaceString(u"put");
    controller.rememberSearch();
    controller.rememberSearch();
    EXPECT_EQ(controller.history("HVSearchHistory")[0], u"find");
    EXPECT_EQ(controller.history("HVSearchHistory")[1], u"sc");
    EXPECT_EQ(controller.history("HVReplaceHistory"), std::vector<std::u16string>{u"put"});
}

TEST_F(SearchController, SetSearchStringTakesTheStringLiterally) {
    controller.setRegularExpression(true);
    controller.setSearchString(u"x+");
    HVNotificationCenter::defaultCenter().postNotificationName(
        "HVSetSearchString", nullptr, {{"HVSearchString", HVPlistValue("a (b")}});
    EXPECT_EQ(controller.searchString(), u"a (b");
    EXPECT_EQ(controller.regularExpression(), false);
    EXPECT_EQ(controller.valid(), true);
    EXPECT_EQ(HVPreferences::sharedInstance().boolForKey("HVDoGrepKey"), false);

    // The program's own find clipboard is taken once per new string.
    controller.setFindPasteboardString(u"clip");
    EXPECT_EQ(controller.readFindPasteboard(), true);
    EXPECT_EQ(controller.searchString(), u"clip");
    controller.setSearchString(u"other");
    EXPECT_EQ(controller.readFindPasteboard(), false);
    EXPECT_EQ(controller.searchString(), u"other");
}

} // namespace
