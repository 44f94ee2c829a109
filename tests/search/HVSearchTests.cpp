#include "HVRegex.h"
#include "HVSearch.h"
#include "HVSearchTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<HVSearch> expression(std::u16string_view pattern, std::u16string_view replace,
                                     bool caseSensitive = true) {
    auto search = HVSearch::initWithExpressionString(pattern, caseSensitive);
    EXPECT_TRUE(search) << HVUnicode::utf8(pattern);
    search->setReplaceString(std::u16string(replace));
    return search;
}

// The text after replacing every match, as UTF-8 for readable failures.
std::string replaced(HVSearch& search, std::u16string text) {
    search.replaceAllInString(text);
    return HVUnicode::utf8(text);
}

} // namespace

TEST(HVSearch, MakingSearches) {
    auto literal = HVSearch::initWithSearchString(u"Needle");
    EXPECT_FALSE(literal->isRegularExpression());
    EXPECT_FALSE(literal->caseSensitive());
    EXPECT_EQ(literal->options(), 128u);
    EXPECT_EQ(literal->expression(), nullptr);

    auto caseless = HVSearch::initWithExpressionString(u"a+", false);
    ASSERT_TRUE(caseless);
    EXPECT_EQ(caseless->expression()->options(), 3u);
    EXPECT_FALSE(caseless->caseSensitive());
    auto sensitive = HVSearch::initWithExpressionString(u"a+", true);
    EXPECT_EQ(sensitive->expression()->options(), 2u);
    EXPECT_TRUE(sensitive->caseSensitive());

    EXPECT_EQ(HVSearch::initWithExpressionString(u"(unclosed", true), nullptr);
    EXPECT_FALSE(HVSearch::validRegexSearch(u"(unclosed"));

    auto compiled = HVSearch::initWithExpression(HVRegex::initWithPattern(u"x", 0x803));
    EXPECT_FALSE(compiled->caseSensitive()) << "the case rule comes from the expression";
    EXPECT_EQ(HVSearch::initWithExpression(nullptr), nullptr);
}

TEST(HVSearch, ChangingTheSearch) {
    auto search = HVSearch::initWithExpressionString(u"^b", false);
    std::u16string text = u"a\nB\nb";
    EXPECT_EQ(describeRange(search->firstMatchInString(text)), "2+1");
    // Default options: neither multi-line nor ignoring case.
    search->setSearchString(u"^a|b$");
    EXPECT_TRUE(search->caseSensitive());
    EXPECT_EQ(describeRanges(search->findAllForString(text)), "4+1");
    search->setOptions(0);
    EXPECT_EQ(describeRanges(search->findAllForString(text)), "0+1 4+1");
    search->setCaseSensitive(false);
    EXPECT_EQ(search->expression()->options(), 1u);
    EXPECT_EQ(describeRanges(search->findAllForString(u"xB")), "1+1");
    search->setSearchString(u"B$");
    EXPECT_TRUE(search->caseSensitive()) << "the default options are case-sensitive";
    EXPECT_EQ(describeRanges(search->findAllForString(u"xb")), "");
    // A pattern that does not compile leaves a search that finds nothing.
    search->setSearchExpression(u"(");
    EXPECT_TRUE(search->isRegularExpression());
    EXPECT_EQ(search->expression(), nullptr);
    EXPECT_EQ(describeRanges(search->findAllForString(u"((")), "");

    auto literal = HVSearch::initWithSearchString(u"b");
    EXPECT_EQ(describeRanges(literal->findAllForString(text)), "2+1 4+1");
    EXPECT_TRUE(literal->matchesString(u"A B"));
    literal->setCaseSensitive(true);
    EXPECT_EQ(describeRanges(literal->findAllForString(text)), "4+1");
    EXPECT_FALSE(literal->matchesString(u"A B"));
    literal->setSearchString(u"a\n");
    EXPECT_EQ(describeRanges(literal->findAllForString(text)), "0+2");
}

TEST(HVSearch, CopiesAreIndependent) {
    auto search = expression(u"(\\d+)", u"<$1>");
    search->setOptions(0);
    auto copy = search->copy();
    search->setSearchExpression(u"x");
    search->setReplaceString(std::nullopt);
    EXPECT_EQ(copy->searchString(), u"(\\d+)");
    EXPECT_EQ(copy->options(), 0u);
    EXPECT_EQ(replaced(*copy, u"a1b22"), "a<1>b<22>");
}

TEST(HVSearch, ReverseFindsTheLastLiteralOnly) {
    auto literal = HVSearch::initWithSearchString(u"Ab");
    std::u16string text = u"ab AB ab xx";
    EXPECT_EQ(describeRange(literal->firstMatchInString(text, {0, 11}, true)), "6+2");
    EXPECT_EQ(describeRange(literal->firstMatchInString(text, {0, 7}, true)), "3+2");
    EXPECT_EQ(describeRange(literal->firstMatchInString(text, {0, 11}, false)), "0+2");
    EXPECT_EQ(describeRange(literal->firstMatchInString(text, {9, 2}, true)), "notFound");
    // An expression ignores the direction.
    auto regex = expression(u"a.", u"", false);
    EXPECT_EQ(describeRange(regex->firstMatchInString(text, {0, 11}, true)), "0+2");
}

TEST(HVSearch, PerSearchOptionsDecideWhetherTheSubjectStartsALine) {
    auto search = HVSearch::initWithExpressionString(u"^\\w+", true);
    std::u16string text = u"one\ntwo\nthree";
    EXPECT_EQ(describeRanges(search->findAllForString(text)), "4+3 8+5")
        << "128: the subject's start is not a line start";
    EXPECT_EQ(describeRange(search->firstMatchInString(text, {0, 13})), "4+3");
    search->setOptions(0);
    EXPECT_EQ(describeRanges(search->findAllForString(text)), "0+3 4+3 8+5");
    EXPECT_EQ(describeRange(search->firstMatchInString(text, {0, 13})), "0+3");
    // The whole-string question takes the expression's own options, so a matched text can be
    // checked again on its own.
    search->setOptions(128);
    EXPECT_TRUE(search->matchesString(u"one"));
    EXPECT_EQ(describeRange(search->firstMatchInString(u"one")), "0+3");
}

TEST(HVSearch, TemplateRules) {
    auto search = expression(u"(\\d+)-(\\d+)(x)?", u"");
    auto rewrite = [&](std::u16string_view pattern) {
        return HVUnicode::utf8(search->replacementForString(u"12-345", pattern));
    };
    EXPECT_EQ(rewrite(u"$2/$1"), "345/12");
    EXPECT_EQ(rewrite(u"<$>"), "<12-345>") << "$ without digits is the whole match";
    EXPECT_EQ(rewrite(u"$$"), "12-34512-345");
    EXPECT_EQ(rewrite(u"$a"), "12-345a");
    EXPECT_EQ(rewrite(u"\\$1"), "$1") << "a backslash keeps the dollar sign";
    EXPECT_EQ(rewrite(u"\\\\$1"), "\\12");
    EXPECT_EQ(rewrite(u"a\\nb\\"), "anb") << "the character after a backslash stays as it is";
    EXPECT_EQ(rewrite(u"(2)(1)"), "34512") << "a number in parentheses inserts that capture";
    EXPECT_EQ(rewrite(u"[(x)]"), "[12-345]") << "no number reads as 0";
    EXPECT_EQ(rewrite(u"( 2)"), "345");
    EXPECT_EQ(rewrite(u"$1 (2"), "12 (2") << "no closing parenthesis: the rest stays";
    EXPECT_EQ(rewrite(u"a(1)b(c$1"), "a12b(c$1");
    EXPECT_EQ(rewrite(u"[$3][(3)][$9][(-1)]"), "[][][][]") << "no part in the match: nothing";
    EXPECT_EQ(rewrite(u"$01$99999999999999999999"), "12");
}

// Replacing every match of an expression: the count, and later ranges shifted by longer and
// shorter replacements; empty matches are replaced and the search ends. Text inserted for a
// capture is not rewritten again; a template for a text that does not match is taken as it is.
TEST(HVSearch, ReplacingWithATemplate) {
    struct Case {
        std::u16string_view pattern;
        std::uint32_t options;
        std::u16string_view replace;
        std::u16string_view text;
        std::size_t count;
        const char* expected;
    };
    const Case cases[] = {
        {u"(\\w+)", 128, u"[$1]", u"two words, and-more", 4, "[two] [words], [and]-[more]"},
        {u"o", 128, u"0", u"foo boo", 4, "f00 b00"},
        {u"(\\d)", 128, u"<$1$1>", u"a1b2c3", 3, "a<11>b<22>c<33>"},
        {u"\\w+", 128, u"", u"ab, cd, ef", 3, ", , "},
        {u"x*", 128, u"-", u"axxb", 3, "-a--b"}, // at 0, over xx, at 3; not at the end
        {u"^", 0, u"> ", u"a\nb\n\nc", 4, "> a\n> b\n> \n> c"},
        {u"(.*)", 128, u"<$1>", u"$1 (1) \\", 1, "<$1 (1) \\>"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.pattern) + " -> " + HVUnicode::utf8(test.replace) +
                     " in " + HVUnicode::utf8(test.text));
        auto search = expression(test.pattern, test.replace);
        search->setOptions(test.options);
        std::u16string text(test.text);
        EXPECT_EQ(search->replaceAllInString(text), test.count);
        EXPECT_EQ(HVUnicode::utf8(text), test.expected);
    }
    auto search = expression(u"(\\w+)", u"[$1]");
    EXPECT_EQ(search->replacementForString(u"abc"), u"[abc]");
    EXPECT_EQ(expression(u"(\\d+)", u"[$1]")->replacementForString(u"abc"), u"[$1]");
    search->setReplaceString(std::nullopt);
    EXPECT_EQ(search->replacementForString(u"12"), u"");
}

TEST(HVSearch, ALiteralTemplateIsTakenAsItIs) {
    auto literal = HVSearch::initWithSearchString(u"cat");
    literal->setReplaceString(u"$0 (1) \\x");
    EXPECT_EQ(literal->replacementForString(u"cat"), u"$0 (1) \\x");
    EXPECT_EQ(replaced(*literal, u"Cat, cat."), "$0 (1) \\x, $0 (1) \\x.");
    literal->setReplaceString(std::nullopt);
    EXPECT_EQ(replaced(*literal, u"Cat, cat."), ", .");
}

// Replacing given ranges: with the double check, a range whose text no longer matches is
// skipped and does not move the offset; without it, it is replaced by the bare template.
// Each range's location is shifted by the change in length so far, whatever its order, and
// replacing stops at a range past the end.
TEST(HVSearch, ReplacingRanges) {
    struct Case {
        std::u16string_view pattern, replace, text;
        std::vector<HVRange> ranges;
        bool check;
        std::size_t count;
        const char* expected;
    };
    const std::vector<HVRange> cats = {{0, 4}, {9, 3}, {17, 3}}; // in "cats and cat and cat"
    const Case cases[] = {
        {u"cat(s?)", u"dog$1", u"cats and cow and cat", cats, true, 2, "dogs and cow and dog"},
        {u"cat(s?)", u"dog$1", u"cats and cow and cat", cats, false, 3, "dogs and dog$1 and dog"},
        {u"\\d", u"#", u"1 2 3", {{0, 1}, {4, 1}, {5, 1}, {6, 0}}, true, 2, "# 2 #"},
        {u"\\d", u"#", u"1 2 3", {{0, 1}, {4, 1}, {5, 1}, {2, 1}}, true, 2, "# 2 #"},
        {u"\\d", u"#", u"1 2", {{0, 1}, {HVNotFound, 0}, {2, 1}}, false, 1, "# 2"},
        {u"\\w+", u"[$]", u"ab cd", {{3, 2}, {0, 2}}, true, 1, "ab [cd]"}, // shifted onto " ["
        {u"\\w+", u"[$]", u"ab cd", {{3, 2}, {0, 2}}, false, 2, "ab[$]cd]"},
    };
    ASSERT_EQ(
        describeRanges(expression(u"cat(s?)", u"")->findAllForString(u"cats and cat and cat")),
        describeRanges(cats));
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.pattern) + " in " + HVUnicode::utf8(test.text) + " at " +
                     describeRanges(test.ranges) + (test.check ? ", checked" : ""));
        auto search = expression(test.pattern, test.replace);
        std::u16string text(test.text);
        EXPECT_EQ(search->replaceRanges(test.ranges, text, test.check), test.count);
        EXPECT_EQ(HVUnicode::utf8(text), test.expected);
    }
}

TEST(HVSearch, UTF8SearchCountsBytes) {
    auto search = expression(u"([^\\s,:]+)ß", u"<$1>", false);
    // ü and ß take 2 bytes, € 3.
    std::string data = "Grüß, GRÜß und Maß: € 3";
    EXPECT_EQ(describeRanges(search->findAllForUTF8Data(data)), "0+6 8+6 19+4");
    EXPECT_EQ(describeRange(search->firstMatchInUTF8Data(data, {1, data.size() - 1})), "1+5");
    EXPECT_EQ(search->replaceAllInUTF8Data(data), 3u);
    EXPECT_EQ(data, "<Grü>, <GRÜ> und <Ma>: € 3");
    auto literal = HVSearch::initWithSearchString(u"und");
    EXPECT_EQ(describeRanges(literal->findAllForUTF8Data(data)), "")
        << "a literal search finds nothing in bytes";
    EXPECT_EQ(literal->replaceAllInUTF8Data(data), 0u);
}

TEST(HVSearch, UTF8ReplacementAndDoubleCheck) {
    auto search = expression(u"(€)(\\d+)", u"$2 EUR");
    std::string piece = "€12";
    EXPECT_EQ(search->replacementForUTF8Bytes(piece.data(), piece.size()), "12 EUR");
    EXPECT_EQ(search->replacementForUTF8Bytes("x", 1), "$2 EUR") << "no match: the template";
    std::string data = "€1 €2 €3";
    auto ranges = search->findAllForUTF8Data(data);
    ASSERT_EQ(describeRanges(ranges), "0+4 5+4 10+4");
    data = "€1 EUR2 €3";
    EXPECT_EQ(search->replaceRanges(ranges, data, true), 2u) << "the second no longer matches";
    EXPECT_EQ(data, "1 EUR EUR2 3 EUR");
}
