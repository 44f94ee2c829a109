#include "HVSearch.h"
#include "HVSearchEnumerator.h"
#include "HVSearchTestSupport.h"

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

TEST(HVSearchEnumerator, EmptyMatchesMoveOnOneCharacter) {
    auto stars = expression(u"x*");
    EXPECT_EQ(describeRanges(stars->findAllForString(u"abc")), "0+0 1+0 2+0")
        << "no match is looked for at the end of the subject";
    EXPECT_EQ(describeRanges(stars->findAllForString(u"axxb\nx\n")), "0+0 1+2 3+0 4+0 5+1 6+0");
    std::u16string many(10000, u'-');
    EXPECT_EQ(stars->findAllForString(many).size(), 10000u);
    // After an empty match, a longer one at the same place comes first.
    EXPECT_EQ(describeRanges(expression(u"x*|ab")->findAllForString(u"ab ab")),
              "0+0 0+2 2+0 3+0 3+2");
}

TEST(HVSearchEnumerator, LineStartsDependOnThePerSearchOptions) {
    std::u16string text = u"one\ntwo\n\nfour";
    EXPECT_EQ(describeRanges(expression(u"^", 0)->findAllForString(text)), "0+0 4+0 8+0 9+0");
    EXPECT_EQ(describeRanges(expression(u"^", 128)->findAllForString(text)), "4+0 8+0 9+0");
    EXPECT_EQ(describeRanges(expression(u"$", 0)->findAllForString(text)), "3+0 7+0 8+0 13+0")
        << "the end is found by a search that starts before it";
    EXPECT_EQ(describeRanges(expression(u"^$", 0)->findAllForString(text)), "8+0");
}

TEST(HVSearchEnumerator, NoMatchStartsInsideASurrogatePair) {
    std::u16string text = u"a\U0001F600b\U0001F600";
    EXPECT_EQ(describeRanges(expression(u"x*")->findAllForString(text)), "0+0 1+0 3+0 4+0");
    EXPECT_EQ(describeRanges(expression(u".")->findAllForString(text)), "0+1 1+2 3+1 4+2");
    EXPECT_EQ(describeRanges(expression(u"(?=b)|\\b")->findAllForString(text)), "0+0 1+0 3+0 4+0");
}

TEST(HVSearchEnumerator, UTF8DataMovesOnWholeCharacters) {
    auto stars = expression(u"x*");
    std::string data = "aé€x";
    EXPECT_EQ(describeRanges(stars->findAllForUTF8Data(data)), "0+0 1+0 3+0 6+1");
    EXPECT_EQ(describeRanges(expression(u".")->findAllForUTF8Data(data)), "0+1 1+2 3+3 6+1");
    EXPECT_EQ(describeRanges(stars->findAllForUTF8Data("")), "");
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
