#include "HVSearchResult.h"
#include "HVSearchTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

// The context as "text|match" with the match in brackets, for one readable comparison.
std::string context(std::u16string_view text, HVRange range) {
    HVSearchContextLine line = HVSearchResult::createAttributedStringFromString(text, range);
    std::u16string shown = line.text;
    shown.insert(line.match.end(), u"]");
    shown.insert(line.match.location, u"[");
    return HVUnicode::utf8(shown);
}

std::string contextInData(std::string_view data, HVRange range) {
    HVSearchContextLine line = HVSearchResult::createAttributedStringFromUTF8Data(data, range);
    std::u16string shown = line.text;
    shown.insert(line.match.end(), u"]");
    shown.insert(line.match.location, u"[");
    return HVUnicode::utf8(shown);
}

// 200 characters "0123456789" repeated, without line breaks.
std::u16string digits() {
    std::u16string text;
    for (int i = 0; i < 20; ++i)
        text += u"0123456789";
    return text;
}

} // namespace

TEST(HVSearchResult, ContextBeginsAtTheLineStartWithinFortyCharacters) {
    std::u16string text = u"abcd\nfghijKLMNOpqrst\nuvw";
    EXPECT_EQ(context(text, {10, 5}), "fghij[KLMNO]pqrst\nuvw")
        << "a match at 10 on a line starting at 5 begins at 5";
    std::u16string cr = u"ab\rcd\r\nef";
    EXPECT_EQ(context(cr, {7, 2}), "[ef]");
    EXPECT_EQ(context(cr, {3, 1}), "[c]d\r\nef");
    EXPECT_EQ(context(u"\nx", {1, 1}), "[x]");
}

TEST(HVSearchResult, ContextTakesFortyCharactersEitherSide) {
    std::u16string text = digits();
    EXPECT_EQ(context(text, {100, 3}), "0123456789012345678901234567890123456789[012]"
                                       "3456789012345678901234567890123456789012")
        << "a match at 100 with no line break before it begins at 60";
    HVSearchContextLine line = HVSearchResult::createAttributedStringFromString(text, {100, 3});
    EXPECT_EQ(line.text.size(), 83u);
    EXPECT_EQ(describeRange(line.match), "40+3");
    EXPECT_EQ(context(text, {39, 1}),
              HVUnicode::utf8(text.substr(0, 39) + u"[9]" + text.substr(40, 40)))
        << "below 40 the context begins at 0";
    // A line break exactly 40 before the match is inside the window.
    text[60] = u'\n';
    EXPECT_EQ(describeRange(HVSearchResult::createAttributedStringFromString(text, {100, 3}).match),
              "39+3");
    text[59] = u'\n';
    text[60] = u'0';
    EXPECT_EQ(describeRange(HVSearchResult::createAttributedStringFromString(text, {100, 3}).match),
              "40+3")
        << "a break 41 before is outside";
}

TEST(HVSearchResult, ContextEndsFortyAfterTheMatchOrAtTheEnd) {
    EXPECT_EQ(context(u"a\nb\nc", {0, 1}), "[a]\nb\nc") << "later line breaks do not end it";
    std::u16string text = digits();
    HVSearchContextLine line = HVSearchResult::createAttributedStringFromString(text, {180, 5});
    EXPECT_EQ(line.text, text.substr(140));
    EXPECT_EQ(context(u"abc", {3, 0}), "abc[]");
}

TEST(HVSearchResult, ContextNeverCutsASurrogatePair) {
    std::u16string text = u"😀" + digits().substr(0, 39) + u"X" + digits().substr(0, 39) + u"😀!";
    // The window would begin on the pair's second half, and end inside the last pair.
    HVSearchContextLine line = HVSearchResult::createAttributedStringFromString(text, {41, 1});
    EXPECT_EQ(line.text, text.substr(2, 81));
    EXPECT_EQ(describeRange(line.match), "39+1");
}

TEST(HVSearchResult, ContextOfBytesCountsCharacters) {
    std::string data;
    for (int i = 0; i < 50; ++i)
        data += "ä";
    data += "MATCH";
    for (int i = 0; i < 50; ++i)
        data += "€";
    std::string expected;
    for (int i = 0; i < 40; ++i)
        expected += "ä";
    expected += "[MATCH]";
    for (int i = 0; i < 40; ++i)
        expected += "€";
    EXPECT_EQ(contextInData(data, {100, 5}), expected);
    EXPECT_EQ(contextInData("line\r\nnext wörd", {11, 5}), "next [wörd]");
    EXPECT_EQ(contextInData("ab", {5, 1}), "ab[]") << "a range past the end is clamped";
}

TEST(HVSearchResult, NodeIsHeldNotOwned) {
    int node = 0;
    HVSearchResult result(HVMakeRange(4, 2), u"one two");
    EXPECT_EQ(describeRange(result.contextLine().match), "4+2");
    result.setNode(&node);
    EXPECT_EQ(result.node(), &node);
    HVSearchResult copy = result;
    EXPECT_EQ(copy.node(), &node);
}
