#include "HVRegex.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

std::string describe(const std::optional<HVRegexMatch>& match, std::size_t capture = 0) {
    if (!match || match->rangeForCapture(capture).location == HVNotFound)
        return "none";
    HVRange range = match->rangeForCapture(capture);
    return std::to_string(range.location) + "+" + std::to_string(range.length);
}

} // namespace

TEST(HVRegex, InvalidPatternsYieldNoRegex) {
    EXPECT_FALSE(HVRegex::validPattern(u"(unclosed"));
    EXPECT_FALSE(HVRegex::validPattern(u"a{2,1}"));
    EXPECT_EQ(HVRegex::initWithPattern(u"[z-a]"), nullptr);
    EXPECT_FALSE(HVRegex::errorForPattern(u"(unclosed").empty());
    EXPECT_TRUE(HVRegex::validPattern(u""));
    EXPECT_TRUE(HVRegex::validPattern("<!DOCTYPE[^>]+>"));
}

// Options when compiling: 0x1 ignores case, 0x2 lets ^ and $ match at line breaks, 0x800 makes
// the word classes Unicode. Option 0x80 when searching: the subject's start is not a line start.
TEST(HVRegex, FirstMatchForPatternOptionsAndRange) {
    struct Case {
        std::u16string_view pattern;
        std::uint32_t options;
        std::u16string text;
        std::optional<HVRange> range; // none: the whole subject
        std::uint32_t searchOptions;
        const char* expected;
    };
    const std::u16string lines = u"first line\nSecond Line\nthird";
    std::u16string unpaired = u"ab";
    unpaired += char16_t(0xD800);
    unpaired += u"cd";
    unpaired += char16_t(0xDC00);
    const Case cases[] = {
        {u"^second", 2, lines, {}, 0, "none"},
        {u"^second", 3, lines, {}, 0, "11+6"},
        {u"^second", 1, lines, {}, 0, "none"}, // without 0x2, ^ is only the start
        {u"line$", 3, lines, {}, 0, "6+4"},
        {u"ПРИВЕТ", 1, u"Ну, привет!", {}, 0, "4+6"},
        {u"^\\w+$", 0, u"Größe", {}, 0, "none"},
        {u"^\\w+$", 0x800, u"Größe", {}, 0, "0+5"},
        {u"<!DOCTYPE[^>]+>", 2049, u"  <!doctype html>", {}, 0, "2+15"},
        // A match starts at or after the range's location and lies within the range: a greedy
        // match is cut at its end. Ranges beyond the subject are clamped, not read past.
        {u"b+", 0, u"aaa bbb aaa bbb", HVRange{5, 10}, 0, "5+2"},
        {u"b+", 0, u"aaa bbb aaa bbb", HVRange{7, 8}, 0, "12+3"},
        {u"b+", 0, u"aaa bbb aaa bbb", HVRange{4, 2}, 0, "4+2"},
        {u"b+", 0, u"aaa bbb aaa bbb", HVRange{8, 3}, 0, "none"},
        {u"b+", 0, u"aaa bbb aaa bbb", HVRange{12, 100}, 0, "12+3"},
        {u"b+", 0, u"aaa bbb aaa bbb", HVRange{100, 5}, 0, "none"},
        // With 0x80 the line after a break still starts a line.
        {u"^abc", 2, u"abc\nabc", HVRange{0, 7}, 0, "0+3"},
        {u"^abc", 2, u"abc\nabc", HVRange{0, 7}, 0x80, "4+3"},
        {u"^abc", 0, u"abc\nabc", HVRange{0, 7}, 0x80, "none"},
        // Positions count UTF-16 code units; a range that starts inside a surrogate pair moves
        // to the next character.
        {u"y", 0, u"😀 x 😀 y", {}, 0, "8+1"},
        {u".", 0, u"😀 x 😀 y", {}, 0, "0+2"},
        {u".", 0, u"😀 x 😀 y", HVRange{1, 8}, 0, "2+1"},
        // Unpaired surrogates never break a search, and match nothing.
        {u"cd", 0, unpaired, {}, 0, "3+2"},
        {u"b.", 0, unpaired, {}, 0, "none"},
        // Catastrophic backtracking ends without a match.
        {u"(a+)+$b", 0, std::u16string(5000, u'a') + u"!", {}, 0, "none"},
        // With 0x1000 a match that the end of the range cuts short is told from none.
        {u"</p>", 0, u"<p>a</", HVRange{0, 6}, 0x1000, "none partial"},
        {u"</p>", 0, u"<p>a</p>", HVRange{0, 7}, 0x1000, "none partial"},
        {u"</p>", 0, u"<p>a</p>", HVRange{0, 8}, 0x1000, "4+4"},
        {u"</p>", 0, u"<p>a</x", HVRange{0, 7}, 0x1000, "none"},
        {u"</p>", 0, u"<p>a</", HVRange{0, 6}, 0, "none"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.pattern) + " options " + std::to_string(test.options) +
                     " in " + HVUnicode::utf8(test.text.substr(0, 40)));
        auto regex = HVRegex::initWithPattern(test.pattern, test.options);
        ASSERT_TRUE(regex);
        auto match = test.range
                         ? regex->copyMatchForString(test.text, *test.range, test.searchOptions)
                         : regex->copyMatchForString(test.text);
        EXPECT_EQ(describe(match) + (regex->lastSearchWasPartial() ? " partial" : ""),
                  test.expected);
    }
}

TEST(HVRegex, GroupsThatTookNoPartAreOutsideTheSubject) {
    std::u16string text = u"key=value";
    auto regex = HVRegex::initWithPattern(u"(\\w+)(:(\\d+))?=(\\w*)", 0);
    auto match = regex->copyMatchForString(text);
    ASSERT_TRUE(match);
    EXPECT_EQ(regex->groupCount(), 4u);
    EXPECT_EQ(match->rangeForCapture(1), HVMakeRange(0, 3));
    HVRange missing = match->rangeForCapture(2);
    EXPECT_EQ(missing.length, 0u);
    EXPECT_GT(missing.location + missing.length, text.size());
    EXPECT_EQ(match->rangeForCapture(3).location, HVNotFound);
    EXPECT_EQ(match->rangeForCapture(4), HVMakeRange(4, 5));
    EXPECT_EQ(match->rangeForCapture(9).location, HVNotFound) << "no such group";
}

// Positions in UTF-8 data count bytes; bytes that are not UTF-8 are skipped, not a failure.
TEST(HVRegex, FirstMatchInUTF8Data) {
    struct Case {
        std::u16string_view pattern;
        std::string data;
        std::size_t from;
        std::size_t capture;
        const char* expected;
    };
    const std::string bold = "Gr\xC3\xB6\xC3\x9F"
                             "e <b>bold</b>";
    // A PCRE2 release with a fault in its compiled matcher missed the characters beyond ASCII
    // in negated classes.
    const std::string accents = "a\xC3\xA9\xE2\x82\xAC"
                                "x 1";
    const Case cases[] = {
        {u"<(\\w+)>", bold, 0, 0, "8+3"},   {u"<(\\w+)>", bold, 0, 1, "9+1"},
        {u"<(\\w+)>", bold, 11, 0, "none"}, // "</b>" is no match
        {u"ö", bold, 0, 0, "2+2"},          {u"ok", "\xFF\xFEok", 0, 0, "2+2"},
        {u"\\S+", accents, 0, 0, "0+7"},    {u"[^ ]+", accents, 0, 0, "0+7"},
        {u"\\D+", accents, 0, 0, "0+8"},    {u"\\W", accents, 0, 0, "1+2"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.pattern) + " from " + std::to_string(test.from));
        auto regex = HVRegex::initWithPattern(test.pattern, 0);
        ASSERT_TRUE(regex);
        EXPECT_EQ(describe(regex->copyMatchForUTF8Data(test.data,
                                                       {test.from, test.data.size() - test.from}),
                           test.capture),
                  test.expected);
    }
}
