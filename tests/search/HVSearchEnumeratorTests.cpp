#include "HVSearch.h"
#include "HVSearchEnumerator.h"
#include "HVSearchTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<HVSearch> expression(std::u16string_view pattern, std::uint32_t options = 128) {
    auto search = HVSearch::initWithExpressionString(pattern, true);
    search->setOptions(options);
    return search;
}

} // namespace

TEST(HVSearchEnumerator, WalksMatchesInOrderAndThenStops) {
    auto search = HVSearch::initWithSearchString(u"aa");
    std::u16string text = u"aaaaa";
    HVSearchEnumerator enumerator(*search, text);
    EXPECT_EQ(enumerator.lastRange(), HVMakeRange(0, 0));
    EXPECT_EQ(describeRange(*enumerator.nextRange()), "0+2");
    EXPECT_EQ(describeRange(*enumerator.nextRange()), "2+2");
    EXPECT_EQ(enumerator.lastRange(), HVMakeRange(2, 2));
    EXPECT_FALSE(enumerator.nextRange());
    EXPECT_FALSE(enumerator.nextRange()) << "an ended enumeration stays ended";
    EXPECT_EQ(describeRanges(search->findAllForString(u"")), "");
}

// An empty match moves the search on one character (a whole one, in a string or in UTF-8
// data), and after it a longer match at the same place comes first. No match is looked for at
// the end of the subject. Option 128: the subject's start is not a line start.
TEST(HVSearchEnumerator, EveryMatch) {
    struct Case {
        std::u16string_view pattern;
        std::uint32_t options;
        std::u16string_view text;
        bool utf8;
        const char* expected;
    };
    const std::u16string_view lines = u"one\ntwo\n\nfour";
    const std::u16string_view pairs = u"a\U0001F600b\U0001F600";
    const Case cases[] = {
        {u"x*", 128, u"abc", false, "0+0 1+0 2+0"},
        {u"x*", 128, u"axxb\nx\n", false, "0+0 1+2 3+0 4+0 5+1 6+0"},
        {u"x*|ab", 128, u"ab ab", false, "0+0 0+2 2+0 3+0 3+2"},
        {u"^", 0, lines, false, "0+0 4+0 8+0 9+0"},
        {u"^", 128, lines, false, "4+0 8+0 9+0"},
        {u"$", 0, lines, false, "3+0 7+0 8+0 13+0"},
        {u"^$", 0, lines, false, "8+0"},
        {u"x*", 128, pairs, false, "0+0 1+0 3+0 4+0"},
        {u".", 128, pairs, false, "0+1 1+2 3+1 4+2"},
        {u"(?=b)|\\b", 128, pairs, false, "0+0 1+0 3+0 4+0"},
        {u"x*", 128, u"aé€x", true, "0+0 1+0 3+0 6+1"},
        {u".", 128, u"aé€x", true, "0+1 1+2 3+3 6+1"},
        {u"x*", 128, u"", true, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.pattern) + " in " + HVUnicode::utf8(test.text) +
                     (test.utf8 ? " as UTF-8" : ""));
        auto search = expression(test.pattern, test.options);
        EXPECT_EQ(describeRanges(test.utf8 ? search->findAllForUTF8Data(HVUnicode::utf8(test.text))
                                           : search->findAllForString(test.text)),
                  test.expected);
    }
    EXPECT_EQ(expression(u"x*")->findAllForString(std::u16string(10000, u'-')).size(), 10000u);
}

TEST(HVSearchEnumerator, ResultsCarryContextLines) {
    auto search = expression(u"b+");
    std::u16string text = u"first line\nabbbc bb\nlast";
    HVSearchEnumerator enumerator(*search, text);
    auto first = enumerator.nextResult();
    ASSERT_TRUE(first);
    EXPECT_EQ(describeRange(first->range()), "12+3");
    EXPECT_EQ(first->contextLine().text, u"abbbc bb\nlast");
    EXPECT_EQ(describeRange(first->contextLine().match), "1+3");
    EXPECT_EQ(first->node(), nullptr);

    auto results = search->findAllForStringAsResults(text);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(describeRange(results[1].range()), "17+2");
    EXPECT_EQ(results[1].contextLine().text, u"abbbc bb\nlast");
    EXPECT_EQ(describeRange(results[1].contextLine().match), "6+2");

    std::string data = "über\nSchöne bbb";
    auto bytes = search->findAllForUTF8DataAsResults(data);
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(describeRange(bytes[0].range()), "2+1");
    EXPECT_EQ(describeRange(bytes[1].range()), "14+3");
    EXPECT_EQ(bytes[1].contextLine().text, u"Schöne bbb");
    EXPECT_EQ(describeRange(bytes[1].contextLine().match), "7+3");
}
