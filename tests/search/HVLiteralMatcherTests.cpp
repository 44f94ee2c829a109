#include "HVLiteralMatcher.h"
#include "HVSearchTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace {

// Every occurrence, forwards.
std::string findAll(const HVLiteralMatcher& matcher, std::u16string_view text) {
    std::vector<HVRange> ranges;
    for (std::size_t from = 0;;) {
        HVRange found = matcher.find(text, HVRange{from, text.size() - from});
        if (found.location == HVNotFound)
            break;
        ranges.push_back(found);
        from = found.end();
    }
    return describeRanges(ranges);
}

} // namespace

// Ignoring case folds simply, one character to one, in every script; the places found are
// those of the original text. The Kelvin sign and ASCII letters, either way of case, are left to
// the comparison with ICU below.
TEST(HVLiteralMatcher, EveryOccurrenceForwards) {
    struct Case {
        std::u16string needle;
        bool caseSensitive;
        std::u16string text;
        const char* expected;
    };
    const std::u16string german = u"Die Straße, die STRAẞE und GRÜNE grüne Ähren";
    const std::u16string emoji = u"x\U0001F600y";
    const std::u16string lead(1, emoji[1]), trail(1, emoji[2]);
    const std::u16string lone = u"a" + lead + u"b";
    const Case cases[] = {
        {u"ПРИВЕТ", false, u"Ну, привет! ПРИВЕТ, Привет.", "4+6 12+6 20+6"},
        {u"привет", true, u"Ну, привет! ПРИВЕТ, Привет.", "4+6"},
        {u"Ё", false, u"ёлка Ёж", "0+1 5+1"},
        {u"ΛΟΓΟΣ", false, u"λογος λογοσ ΛΟΓΟΣ", "0+5 6+5 12+5"}, // final and medial sigma
        {u"straße", false, german, "4+6 16+6"},
        {u"grüne", false, german, "27+5 33+5"},
        {u"ähren", false, german, "39+5"},
        {u"ẞE", false, u"Maße MASSE MAẞE", "2+2 13+2"},
        {u"strasse", false, german, ""},       // "ss" is not "ß"
        {u"SEIN", false, u"\u017Fein", "0+4"}, // the long s folds to "s"
        // Deseret capital and small long i (U+10400, U+10428) fold and count two units.
        {u"\U00010400b", false, u"a\U00010428b \U00010400B", "1+3 5+3"},
        {u"\U00010400b", true, u"a\U00010428b \U00010400B", ""},
        // Never half a surrogate pair; a lone surrogate is found as itself.
        {lead, true, emoji, ""},
        {trail, true, emoji, ""},
        {lead, false, emoji, ""},
        {trail + u"y", false, emoji, ""},
        {lead, true, lone, "1+1"},
        {lead + u"B", false, lone, "1+2"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.needle) + (test.caseSensitive ? " (case) in " : " in ") +
                     HVUnicode::utf8(test.text));
        EXPECT_EQ(findAll(HVLiteralMatcher(test.needle, test.caseSensitive), test.text),
                  test.expected);
    }
}

// Ranges that run to the end of the text are the comparison with ICU's below.
TEST(HVLiteralMatcher, MatchesLieWhollyInsideTheRange) {
    std::u16string text = u"abc abc abc";
    HVLiteralMatcher exact(u"abc", true), folded(u"ABC", false);
    for (const HVLiteralMatcher* matcher : {&exact, &folded}) {
        EXPECT_EQ(describeRange(matcher->find(text, {4, 2})), "notFound");
        EXPECT_EQ(describeRange(matcher->find(text, {0, 10}, true)), "4+3");
        EXPECT_EQ(describeRange(matcher->find(text, {5, 100}, true)), "8+3");
        EXPECT_EQ(describeRange(matcher->find(text, {100, 5}, true)), "notFound");
    }
    EXPECT_EQ(describeRange(HVLiteralMatcher(u"", false).find(text, {0, 11})), "notFound");
}

// Checked against ICU's own case-insensitive comparison on many small random texts, so that
// every place where a block scan can begin, end or find a candidate is met.
TEST(HVLiteralMatcher, AgreesWithICUComparisonOnRandomTexts) {
    const std::u16string alphabet[] = {u"a", u"A",      u"b",          u"K",
                                       u"k", u"\u212A", u"\U0001F600", u" "};
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    auto randomText = [&](std::size_t characters) {
        std::u16string text;
        for (std::size_t i = 0; i < characters; ++i)
            text += alphabet[next(8)];
        return text;
    };
    for (int round = 0; round < 400; ++round) {
        std::u16string text = randomText(next(40));
        std::u16string needle = randomText(1 + next(3));
        bool caseSensitive = round % 2 == 0;
        HVLiteralMatcher matcher(needle, caseSensitive);
        std::size_t from = next(4);
        // The expected first and last occurrence at or after from.
        std::vector<HVRange> expected;
        for (std::size_t at = from; at < text.size(); ++at) {
            if (at > 0 && (text[at] & 0xFC00) == 0xDC00)
                continue;
            for (std::size_t length = 1; at + length <= text.size() && length <= 6; ++length) {
                if (at + length < text.size() && (text[at + length] & 0xFC00) == 0xDC00)
                    continue;
                std::u16string_view piece = std::u16string_view(text).substr(at, length);
                UErrorCode status = U_ZERO_ERROR;
                bool equal = caseSensitive
                                 ? piece == needle
                                 : u_strCaseCompare(piece.data(), std::int32_t(piece.size()),
                                                    needle.data(), std::int32_t(needle.size()),
                                                    U_FOLD_CASE_DEFAULT, &status) == 0;
                if (equal)
                    expected.push_back({at, length});
            }
        }
        HVRange range{from, text.size() > from ? text.size() - from : 0};
        std::string context = HVUnicode::utf8(needle) + " in " + HVUnicode::utf8(text);
        EXPECT_EQ(describeRange(matcher.find(text, range)),
                  expected.empty() ? "notFound" : describeRange(expected.front()))
            << context;
        HVRange last = expected.empty() ? HVRange{HVNotFound, 0} : expected.front();
        for (const HVRange& candidate : expected)
            if (candidate.location > last.location)
                last = candidate;
        EXPECT_EQ(describeRange(matcher.find(text, range, true)), describeRange(last)) << context;
    }
}
