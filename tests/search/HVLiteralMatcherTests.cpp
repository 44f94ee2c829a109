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

TEST(HVLiteralMatcher, CaseRuleDecidesWhichCapitalisationsMatch) {
    std::u16string text = u"Word word WORD wOrd";
    EXPECT_EQ(findAll(HVLiteralMatcher(u"word", false), text), "0+4 5+4 10+4 15+4");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"word", true), text), "5+4");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"WORD", false), text), "0+4 5+4 10+4 15+4");
}

TEST(HVLiteralMatcher, IgnoringCaseWorksInCyrillicAndGreek) {
    std::u16string russian = u"Ну, привет! ПРИВЕТ, Привет.";
    EXPECT_EQ(findAll(HVLiteralMatcher(u"ПРИВЕТ", false), russian), "4+6 12+6 20+6");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"привет", true), russian), "4+6");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"Ё", false), u"ёлка Ёж"), "0+1 5+1");
    // Final and medial sigma fold alike.
    EXPECT_EQ(findAll(HVLiteralMatcher(u"ΛΟΓΟΣ", false), u"λογος λογοσ ΛΟΓΟΣ"), "0+5 6+5 12+5");
}

TEST(HVLiteralMatcher, IgnoringCaseInGermanKeepsOriginalPositions) {
    std::u16string text = u"Die Straße, die STRAẞE und GRÜNE grüne Ähren";
    EXPECT_EQ(findAll(HVLiteralMatcher(u"straße", false), text), "4+6 16+6");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"grüne", false), text), "27+5 33+5");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"ähren", false), text), "39+5");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"ẞE", false), u"Maße MASSE MAẞE"), "2+2 13+2");
    // Simple folding maps one character to one: "ss" is not "ß".
    EXPECT_EQ(findAll(HVLiteralMatcher(u"strasse", false), text), "");
}

TEST(HVLiteralMatcher, CaseVariantsOutsideTheNeedlesScriptStartMatches) {
    // The Kelvin sign folds to "k" and the long s to "s": both can begin a match.
    EXPECT_EQ(findAll(HVLiteralMatcher(u"kilo", false), u"\u212Ailo Kilo"), "0+4 5+4");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"SEIN", false), u"\u017Fein"), "0+4");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"\u212A", false), u"k K"), "0+1 2+1");
}

TEST(HVLiteralMatcher, SupplementaryCharactersFoldAndCountTwoUnits) {
    // Deseret capital and small long i (U+10400, U+10428).
    std::u16string text = u"a\U00010428b \U00010400B";
    EXPECT_EQ(findAll(HVLiteralMatcher(u"\U00010400b", false), text), "1+3 5+3");
    EXPECT_EQ(findAll(HVLiteralMatcher(u"\U00010400b", true), text), "");
}

TEST(HVLiteralMatcher, NeverTakesHalfASurrogatePair) {
    std::u16string text = u"x\U0001F600y";
    std::u16string lead(1, text[1]), trail(1, text[2]);
    EXPECT_EQ(findAll(HVLiteralMatcher(lead, true), text), "");
    EXPECT_EQ(findAll(HVLiteralMatcher(trail, true), text), "");
    EXPECT_EQ(findAll(HVLiteralMatcher(lead, false), text), "");
    EXPECT_EQ(findAll(HVLiteralMatcher(trail + u"y", false), text), "");
    // A lone surrogate is found as itself.
    std::u16string lone = u"a";
    lone += lead;
    lone += u"b";
    EXPECT_EQ(findAll(HVLiteralMatcher(lead, true), lone), "1+1");
    EXPECT_EQ(findAll(HVLiteralMatcher(lead + u"B", false), lone), "1+2");
}

TEST(HVLiteralMatcher, MatchesLieWhollyInsideTheRange) {
    std::u16string text = u"abc abc abc";
    HVLiteralMatcher exact(u"abc", true), folded(u"ABC", false);
    for (const HVLiteralMatcher* matcher : {&exact, &folded}) {
        EXPECT_EQ(describeRange(matcher->find(text, {1, 10})), "4+3");
        EXPECT_EQ(describeRange(matcher->find(text, {4, 2})), "notFound");
        EXPECT_EQ(describeRange(matcher->find(text, {0, 10}, true)), "4+3");
        EXPECT_EQ(describeRange(matcher->find(text, {0, 11}, true)), "8+3");
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
