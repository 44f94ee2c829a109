#include "HVSearchResult.h"
#include "HVSearchTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

// The context with the match in brackets, for one readable comparison.
std::string shown(HVSearchContextLine line) {
    line.text.insert(line.match.end(), u"]");
    line.text.insert(line.match.location, u"[");
    return HVUnicode::utf8(line.text);
}

std::string context(std::u16string_view text, HVRange range) {
    return shown(HVSearchResult::createAttributedStringFromString(text, range));
}

std::string contextInData(std::string_view data, HVRange range) {
    return shown(HVSearchResult::createAttributedStringFromUTF8Data(data, range));
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
    EXPECT_EQ(context(text, {180, 5}),
              HVUnicode::utf8(text.substr(140, 40) + u"[01234]" + text.substr(185)));
    EXPECT_EQ(context(u"abc", {3, 0}), "abc[]");
}

TEST(HVSearchResult, ContextNeverCutsASurrogatePair) {
    std::u16string text = u"😀" + digits().substr(0, 39) + u"X" + digits().substr(0, 39) + u"😀!";
    // The window would begin on the pair's second half, and end inside the last pair.
    EXPECT_EQ(context(text, {41, 1}),
              HVUnicode::utf8(text.substr(2, 39) + u"[X]" + text.substr(42, 41)));
}

TEST(HVSearchResult, ContextOfBytesCountsCharacters) {
    auto repeated = [](std::string_view piece, int count) {
        std::string out;
        while (count-- > 0)
            out += piece;
        return out;
    };
    EXPECT_EQ(contextInData(repeated("ä", 50) + "MATCH" + repeated("€", 50), {100, 5}),
              repeated("ä", 40) + "[MATCH]" + repeated("€", 40));
    EXPECT_EQ(contextInData("line\r\nnext wörd", {11, 5}), "next [wörd]");
    EXPECT_EQ(contextInData("ab", {5, 1}), "ab[]") << "a range past the end is clamped";
}
