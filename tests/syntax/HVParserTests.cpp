#include "HVFileSystem.h"
#include "HVParser.h"
#include "HVPropertyList.h"
#include "HVRegex.h"
#include "HVSyntaxTestSupport.h"
#include "HVTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

HVParser braceParser() {
    return HVParser(nullptr,
                    HVPlistValue::Dictionary{
                        {"format-id", "text.c"},
                        {"folding", HVPlistValue::Dictionary{{"open", "\\{"}, {"close", "\\}"}}}});
}

std::string state(const HVParser& parser, std::u16string_view line) {
    return HVFoldStateName(parser.foldStateForLine(line));
}

std::string regions(const HVParserRegions& found, const HVParser* expected) {
    std::string out;
    for (const auto& [range, parser] : found) {
        out += (out.empty() ? "" : ", ") + std::to_string(range.location) + "+" +
               std::to_string(range.length);
        if (parser != expected)
            out += " (other parser)";
    }
    return out;
}

} // namespace

TEST(HVParser, FoldStateOfOneLine) {
    using Dict = HVPlistValue::Dictionary;
    auto folding = [](Dict patterns) { return HVParser(nullptr, Dict{{"folding", patterns}}); };
    const HVParser braces = braceParser();
    const HVParser anchored =
        folding({{"open", "^\\s*<(div|ul)\\b"}, {"close", "</(div|ul)>\\s*$"}});
    const HVParser unanchored = folding({{"open", "<(div|ul)>"}, {"close", "</(div|ul)>\\s*$"}});
    const HVParser plain(nullptr, std::string("text.plain"));
    const HVParser onlyCloser = folding({{"close", "end"}});
    const std::tuple<const HVParser&, std::u16string_view, const char*> cases[] = {
        {braces, u"if (x) {", "opener"},
        {braces, u"}", "closer"},
        {braces, u"} else {", "closer-then-opener"},
        {braces, u"{ }", "none"},
        {braces, u"", "none"},
        // Only the first opener counts: a closer after it means the line closes on itself.
        {braces, u"{ } {", "none"},
        {braces, u"} {{", "closer-then-opener"},
        // The patterns anchor to the line.
        {anchored, u"  <div class=\"a\">", "opener"},
        {anchored, u"  </div>", "closer"},
        {anchored, u"<div>x</div>", "none"},
        {anchored, u"x <div>", "none"},
        // The closer before the opener is searched in that part alone, where "$" is its end.
        {unanchored, u"</ul> <ul>", "closer-then-opener"},
        {unanchored, u"</ul> x <ul>", "opener"},
        // Without fold patterns no line is marked; a closer alone marks closers.
        {plain, u"{", "none"},
        {onlyCloser, u"end", "closer"},
    };
    for (const auto& [parser, line, expected] : cases)
        EXPECT_EQ(state(parser, line), expected) << HVUnicode::utf8(line);
    EXPECT_EQ(braces.foldStateForLine(u"{ }", true), HVFoldState::Collapsed);
    EXPECT_EQ(plain.foldStepForLine(u"{", HVFoldState::Opener), 0u);
}

TEST(HVParser, NestingStepCountsMatchesOverTheWholeLine) {
    HVParser parser = braceParser();
    EXPECT_EQ(parser.foldStepForLine(u"a { b { c {", HVFoldState::Opener), 3u);
    EXPECT_EQ(parser.foldStepForLine(u"}}", HVFoldState::Closer), 2u);
    EXPECT_EQ(parser.foldStepForLine(u"}} else {", HVFoldState::CloserThenOpener), 2u);
    EXPECT_EQ(parser.foldStepForLine(u"{ { }", HVFoldState::Collapsed), 1u);

    // Patterns that can match the empty string still count each place once.
    HVParser empty(nullptr,
                   HVPlistValue::Dictionary{{"folding", HVPlistValue::Dictionary{{"open", "x*"}}}});
    EXPECT_EQ(empty.foldStepForLine(u"ab", HVFoldState::Opener), 3u);
}

TEST(HVParser, OpenerAndCloserRegions) {
    HVParser parser(nullptr, HVPlistValue::Dictionary{{"openers", HVPlistValue::Array{"<?php"}},
                                                      {"closers", HVPlistValue::Array{"?>"}}});
    std::u16string three = u"<?php a <?php b <?php c ?>";
    EXPECT_EQ(regions(parser.rangesInString(three, {0, three.size()}), &parser),
              "0+26, 8+18, 16+10");
    // Only the range is searched.
    EXPECT_EQ(regions(parser.rangesInString(three, {8, 10}), &parser), "8+10");
    EXPECT_EQ(regions(parser.rangesInString(three, {0, 0}), &parser), "");

    // Occurrences pair by rank within the lists, ignoring case: "<script" is listed first.
    HVParser two(nullptr, HVPlistValue::Dictionary{
                              {"openers", HVPlistValue::Array{"<script", "<style"}},
                              {"closers", HVPlistValue::Array{"</script>", "</style>"}}});
    std::u16string markup = u"<STYLE>a</style><script>b</SCRIPT>";
    EXPECT_EQ(regions(two.rangesInString(markup, {0, markup.size()}), &two), "0+16, 16+18");
}

TEST(HVParser, PlaceholdersOnTheRestOfTheLine) {
    HVParser parser(nullptr, std::string("x"));
    auto next = [&](std::u16string_view text, std::size_t after) {
        HVRange found = parser.nextSignificantRangeInString(text, {0, after});
        if (found.location == HVNotFound)
            return std::string("not found");
        return std::to_string(found.location) + "+" + std::to_string(found.length);
    };
    EXPECT_EQ(next(u"f(\"\", [*name*], [*cur])", 0), "16+6") << "[*cur] anywhere wins";
    EXPECT_EQ(next(u"f([*name*], [*other*])", 3), "12+9") << "after the range only";
    EXPECT_EQ(next(u"f([*name)", 0), "not found");
    EXPECT_EQ(next(u"f(x)\n[*cur]", 0), "not found") << "the line ends the search";
    EXPECT_EQ(next(u"f(x)", 10), "not found");
}

TEST(HVParser, TheBaseParserMarksItsRangeAndPaintsNothing) {
    auto owner = std::make_shared<HVParser>(
        nullptr, HVPlistValue::Dictionary{{"format-type", "unknown"}, {"format-id", "text.x"}});
    HVParser& parser = *owner;
    auto theme = HVMakeTestTheme({"comment"});
    parser.setTheme(theme);
    HVTextBuffer buffer(u"one // two\nthree");
    EXPECT_TRUE(parser.parseRange({4, 7}, buffer).empty());
    EXPECT_EQ(HVDumpRuns(buffer, *theme), "");
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 3), nullptr);
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 4), owner);
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 10), owner);
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 11), nullptr);
}

TEST(HVParser, SyntaxDefinitionRoundTripsThroughABinaryFile) {
    HVPlistValue definition = HVPlistValue::Dictionary{
        {"format-version", "1.0"},
        {"format-id", "text.php"},
        {"format-type", "something-new"},
        {"folding", HVPlistValue::Dictionary{{"open", "\\{"}, {"close", "\\}"}}},
        {"openers", HVPlistValue::Array{"<?php", "<?"}},
        {"closers", HVPlistValue::Array{"?>", "?>"}}};
    HVParser parser(nullptr, definition);
    EXPECT_TRUE(parser.loadErrors().empty());
    EXPECT_EQ(parser.plistRepresentation(), definition);

    HVTemporaryDirectory dir;
    HVError error;
    ASSERT_TRUE(parser.commitToPath(dir.path(), &error)) << error.fullDescription();
    std::string bytes = HVReadFile(dir.path() + "/syntax.plist");
    EXPECT_EQ(bytes.substr(0, 8), "bplist00");
    auto reread = HVPropertyList::readFromFile(dir.path() + "/syntax.plist");
    ASSERT_TRUE(reread);
    EXPECT_EQ(*reread, definition);

    // A writing failure is reported.
    EXPECT_FALSE(parser.commitToPath(dir.path() + "/missing/Contents", &error));

    // Only what is set is written.
    HVParser onlyOpen(nullptr, std::string("x"));
    ASSERT_TRUE(onlyOpen.setFoldOpener(u"begin"));
    EXPECT_EQ(*onlyOpen.plistRepresentation().objectForKey("folding"),
              HVPlistValue(HVPlistValue::Dictionary{{"open", "begin"}}));
    ASSERT_TRUE(onlyOpen.setFoldOpener(u""));
    EXPECT_EQ(onlyOpen.foldOpener(), nullptr);
    EXPECT_EQ(onlyOpen.plistRepresentation().objectForKey("folding"), nullptr);
}

TEST(HVParser, BadDefinitionsAreReportedAndKeptForWriting) {
    HVPlistValue definition = HVPlistValue::Dictionary{
        {"format-id", "text.bad"},
        {"folding", HVPlistValue::Dictionary{{"open", "("}, {"close", "\\)"}}},
        {"openers", HVPlistValue::Array{"<%", 5}},
        {"closers", "%>"}};
    HVParser parser(nullptr, definition);
    ASSERT_EQ(parser.loadErrors().size(), 3u);
    EXPECT_NE(parser.loadErrors()[0].description().find("\"(\""), std::string::npos)
        << parser.loadErrors()[0].description();
    EXPECT_EQ(parser.foldOpener(), nullptr);
    EXPECT_NE(parser.foldCloser(), nullptr);
    EXPECT_EQ(state(parser, u"( x )"), "closer");
    // The pattern that did not compile is written back as it was.
    EXPECT_EQ(*parser.plistRepresentation().objectForKey("folding"),
              *definition.objectForKey("folding"));
    EXPECT_EQ(parser.openers(), (std::vector<std::u16string>{u"<%"}));

    HVError error;
    EXPECT_FALSE(parser.setFoldCloser(u"[", &error));
    EXPECT_EQ(error.domain(), HVSyntaxErrorDomain);

    HVParser notADictionary(nullptr, HVPlistValue("text"));
    EXPECT_EQ(notADictionary.loadErrors().size(), 1u);
    EXPECT_EQ(notADictionary.identifier(), "");
}
