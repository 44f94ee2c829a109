#include "HVKeywordBasedParser.h"
#include "HVPropertyList.h"
#include "HVRegex.h"
#include "HVSyntaxTestSupport.h"
#include "HVTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

constexpr const char* kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr const char* kWordCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_$";

// A small script language: two keyword groups, numbers by pattern, both quote kinds, line and
// block comments.
Dict scriptDefinition() {
    return Dict{
        {"format-version", "1.0"},
        {"format-id", "text.js"},
        {"format-type", "keyword"},
        {"case-sensitive", true},
        {"keyword-characters", kWordCharacters},
        {"keywords", Dict{{"keyword.control", Array{"else", "if", "return"}},
                          {"storage.type", Array{"function", "var"}}}},
        {"regex-keywords", Array{Dict{{"id", "constant.numeric"}, {"keyword", "[0-9]+"}}}},
        {"quotes", Dict{{"double", "string.quoted.double"}, {"single", "string.quoted.single"}}},
        {"comments", Array{Dict{{"begin", "//"}, {"id", "comment.line"}},
                           Dict{{"begin", "/*"}, {"end", "*/"}, {"id", "comment.block"}}}},
    };
}

std::shared_ptr<HVTheme> testTheme() {
    return HVMakeTestTheme({"keyword", "storage", "constant.numeric", "string", "comment",
                            "comment.block", "heredoc", "regex"});
}

// Paints range (all of the text when none) with a fresh buffer and dumps the runs.
std::string paint(HVKeywordBasedParser& parser, std::u16string_view text,
                  std::optional<HVRange> range = std::nullopt) {
    auto theme = testTheme();
    parser.setTheme(theme);
    HVTextBuffer buffer(text);
    HVParserRegions regions = parser.parseRange(range.value_or(HVRange{0, text.size()}), buffer);
    EXPECT_TRUE(regions.empty());
    return HVDumpRuns(buffer, *theme);
}

std::string paint(const Dict& definition, std::u16string_view text,
                  std::optional<HVRange> range = std::nullopt) {
    HVKeywordBasedParser parser(nullptr, definition);
    EXPECT_TRUE(parser.loadErrors().empty());
    return paint(parser, text, range);
}

// A text painted with a definition, over a range (all of the text when none), and its runs.
struct Case {
    const Dict& definition;
    std::u16string_view text;
    std::optional<HVRange> range;
    const char* expected;
};

template <std::size_t N> void checkPaintings(const Case (&cases)[N]) {
    for (const Case& test : cases) {
        SCOPED_TRACE(HVUnicode::utf8(test.text));
        EXPECT_EQ(paint(test.definition, test.text, test.range), test.expected);
    }
}

Dict with(Dict definition, const std::string& key, HVPlistValue value) {
    definition[key] = std::move(value);
    return definition;
}

// A heredoc that ends at its own label, and a regex literal on one line with an escape.
Dict heredocRegion() {
    return Dict{{"begin", "<<-?\\s*['\"]?(\\w+)['\"]?"},
                {"end", "^\\s*\\1$"},
                {"id", "heredoc"},
                {"multi-line", true}};
}

Dict regexRegion() {
    return Dict{{"begin", "/(?![/*])"}, {"end", "/"}, {"escape", "\\"}, {"id", "regex"}};
}

Dict shellDefinition() {
    return with(scriptDefinition(), "regions", Array{heredocRegion(), regexRegion()});
}

// An element of text to its own closing tag, painted only where its tags' names are and as code
// in braces; one without its closing tag is no element.
Dict elementDefinition() {
    Dict name{{"begin", "\\w+"}, {"end", ""}, {"id", "keyword"}};
    Dict tag{{"begin", "</?\\w+>"}, {"end", ""}, {"inside", Array{name}}};
    return with(scriptDefinition(), "regions",
                Array{Dict{{"begin", "<(\\w+)>"},
                           {"end", "\\G[^<>]*+</\\1>"},
                           {"multi-line", true},
                           {"needs-end", true},
                           {"inside",
                            Array{tag, Dict{{"begin", "\\{"}, {"end", "\\}"}, {"code", true}}}}}});
}

} // namespace

// What the script definition and its variants paint, all of the text or only a range. Whole
// words of each keyword group, a block comment over lines, a line comment ending its line, two
// backslashes and an escaped quote inside a string and a string left open to the end are painted
// in the reference outputs of tests/data/highlight/test-script and test-markup.
TEST(HVKeywordBasedParser, Painting) {
    const Dict script = scriptDefinition();
    const Dict letters = with(script, "keyword-characters", kLetters);
    Dict sql = with(script, "case-sensitive", false);
    sql["keywords"] = Dict{{"keyword", Array{"select", "Where", "\u00e9cole"}}};
    sql["keyword-characters"] = std::string(kLetters) + "\u00e9\u00c9";
    const Dict sqlPatterns = with(sql, "regex-keywords",
                                  Array{Dict{{"id", "constant.numeric"}, {"keyword", "x[a-f]+"}}});
    Dict absent = script;
    absent.erase("case-sensitive");
    const Dict two = with(script, "regex-keywords",
                          Array{Dict{{"id", "constant.numeric"}, {"keyword", "[0-9]+|[0-9]+px"}},
                                Dict{{"id", "keyword"}, {"keyword", "[0-9]+[a-z]+"}}});
    const Dict twoExact = with(two, "keywords", Dict{{"storage", Array{"12"}}});
    Dict lua = with(script, "comments",
                    Array{Dict{{"begin", "--"}, {"id", "comment.line"}},
                          Dict{{"begin", "--[["}, {"end", "]]"}, {"id", "comment.block"}}});
    Dict luaSwapped = lua;
    std::swap(luaSwapped["comments"].array()->at(0), luaSwapped["comments"].array()->at(1));
    luaSwapped["comments"].array()->push_back(Dict{{"begin", ""}, {"id", "comment"}});
    Dict basic = with(script, "comments", Array{Dict{{"begin", "REM"}, {"id", "comment.line"}}});
    basic["keywords"] = Dict{{"keyword", Array{"if"}}};
    Dict dashes = with(basic, "keyword-characters", std::string(kLetters) + "-");
    dashes["comments"] = Array{Dict{{"begin", "--"}, {"id", "comment.line"}}};
    const Dict vim = with(script, "comments", Array{Dict{{"begin", "\""}, {"id", "comment.line"}}});
    const Dict doubleOnly = with(script, "quotes", Dict{{"double", "string.quoted.double"}});
    const Case cases[] = {
        // Words are looked up whole; with letters only as keyword characters, a hyphen or a
        // digit splits words.
        {script, u"var ifelse = function", {}, "0+3 storage, 13+8 storage"},
        {letters, u"if-else if2", {}, "0+2 keyword, 3+4 keyword, 8+2 keyword"},
        {script, u"If IF iF", {}, ""},
        // A language that is not case-sensitive (also when it does not say) looks words up in
        // lower case: "Where" as written in the definition is never found. Patterns see the
        // lower-case word too.
        {sql, u"SELECT Select select where Where", {}, "0+6 keyword, 7+6 keyword, 14+6 keyword"},
        {sql, u"\u00c9COLE", {}, "0+5 keyword"},
        {sqlPatterns, u"XFF xff Xzz", {}, "0+3 constant.numeric, 4+3 constant.numeric"},
        {absent, u"IF", {}, "0+2 keyword"},
        // A pattern must cover the whole word. The first pattern whose leftmost match covers the
        // word wins; a shorter leftmost match of an earlier pattern does not stop the later
        // ones. Exact keywords are looked up before any pattern.
        {script, u"123 123abc abc123 7", {}, "0+3 constant.numeric, 18+1 constant.numeric"},
        {two, u"12px 12 12em", {}, "0+4 keyword, 5+2 constant.numeric, 8+4 keyword"},
        {twoExact, u"12", {}, "0+2 storage"},
        // The block comment starts first and runs through its end, past the "//" inside it. A
        // line comment stops before the line break, whatever it is, and is not multi-line.
        {script, u"x /* a // b */ if", {}, "2+12 comment.block ml, 15+2 keyword"},
        {script, u"a // b\r\nif", {}, "2+4 comment, 8+2 keyword"},
        {script, u"a // b\rif", {}, "2+4 comment, 7+2 keyword"},
        {script, u"if/*x*/if", {}, "0+2 keyword, 2+5 comment.block ml, 7+2 keyword"},
        // A comment begin must lie wholly in the range.
        {script, u"if /* x */", HVRange{0, 4}, "0+2 keyword"},
        // Comment begins inside strings; quotes inside comments and comments inside strings
        // are not tokens.
        {script,
         u"'/*' a */ b '/*' c /* d */ e",
         {},
         "0+4 string ml, 12+4 string ml, 19+7 comment.block ml"},
        {script,
         u"/* 'a */ \"/* b\" 'x' // \"y",
         {},
         "0+8 comment.block ml, 9+6 string ml, 16+3 string ml, 20+5 comment"},
        // At one place the comment kind defined first wins; a kind with an empty begin is never
        // found.
        {lua, u"--[[ a\nb ]] if", {}, "0+6 comment, 12+2 keyword"},
        {luaSwapped, u"--[[ a\nb ]] if", {}, "0+11 comment.block ml, 12+2 keyword"},
        {luaSwapped, u"x", {}, ""},
        // A comment or a quote that begins with a keyword character is read as a word; a
        // comment that begins with a quote character as a string.
        {basic, u"REM if", {}, "4+2 keyword"},
        {dashes, u"-- if", {}, "3+2 keyword"},
        {vim, u"\" note\nif", {}, "0+9 string ml"},
        // Three backslashes escape the quote (two are in the reference output). The other quote
        // kind does not close a string; adjacent strings merge into one run. A quote in the last
        // place of the range closes the string even when escaped. Without single quotes an
        // apostrophe is plain text.
        {script, u"\"a\\\\\\\" if\" if", {}, "0+10 string ml, 11+2 keyword"},
        {script, u"\"it's\" 'say \"hi\"'", {}, "0+6 string ml, 7+10 string ml"},
        {script, u"'a''b'", {}, "0+6 string ml"},
        {script, u"\"a\\\" if", HVRange{0, 4}, "0+4 string ml"},
        {doubleOnly, u"'if' \"x\"", {}, "1+2 keyword, 5+3 string ml"},
        // Unterminated comments and strings paint to the end of the range; so does a line
        // comment.
        {script, u"x /* open\nif\nif", HVRange{0, 10}, "2+8 comment.block ml"},
        {script, u"if 'open\nif", HVRange{0, 9}, "0+2 keyword, 3+6 string ml"},
        {script, u"a // b c", HVRange{0, 5}, "2+3 comment"},
        // A range that starts inside a string takes the closing quote for an opening one.
        {script, u"say \"hello world\" if", HVRange{10, 10}, "16+4 string ml"},
    };
    checkPaintings(cases);

    HVKeywordBasedParser parser(nullptr, script);
    parser.setCaseSensitive(false);
    EXPECT_EQ(paint(parser, u"If IF iF"), "0+2 keyword, 3+2 keyword, 6+2 keyword");
}

// Regions run from their begin through their end; quotes, comments and words inside are not
// tokens. At one place a region wins over a comment and a quote.
TEST(HVKeywordBasedParser, Regions) {
    const Dict shell = shellDefinition();
    const Dict element = elementDefinition();
    Dict hashes =
        with(scriptDefinition(), "comments", Array{Dict{{"begin", "#"}, {"id", "comment.line"}}});
    hashes["regions"] = Array{
        Dict{{"begin", "#\\{"}, {"end", "\\}"}, {"id", "regex"}},
        Dict{{"begin", "\"\"\""}, {"end", "\"\"\""}, {"id", "heredoc"}, {"multi-line", true}}};
    Dict vimRegions =
        with(scriptDefinition(), "comments", Array{Dict{{"begin", "\""}, {"id", "comment.line"}}});
    vimRegions["regions"] = Array{regexRegion()};
    const Case cases[] = {
        // The end is the begin's own label, alone on its line (with any line break); another
        // heredoc has another label.
        {shell, u"cat <<EOF\nsay \"hi\nEOF\nif", {}, "4+17 heredoc ml, 22+2 keyword"},
        {shell,
         u"a <<-'END'\nEOF\n  END\nb <<X\nX\nif",
         {},
         "2+18 heredoc ml, 23+5 heredoc ml, 29+2 keyword"},
        {shell, u"cat <<EOF\r\nx\r\nEOF\r\nif", {}, "4+13 heredoc ml, 19+2 keyword"},
        {shell, u"<<EOF\nEOFX\nEOF", {}, "0+14 heredoc ml"},
        {shell, u"cat <<EOF\nif\nif", HVRange{0, 12}, "4+8 heredoc ml"},
        // A regex literal: an escaped end and a quote inside; two escapes do not escape. Not
        // multi-line, it stops at its line end.
        {shell, u"x = /a\\/b\"/; if", {}, "4+7 regex, 13+2 keyword"},
        {shell, u"/a\\\\/ if", {}, "0+5 regex, 6+2 keyword"},
        {shell, u"/ab\nif", {}, "0+3 regex, 4+2 keyword"},
        {shell, u"a // b /c/", {}, "2+8 comment"},
        // At one place the region wins: over a comment, over a quote.
        {hashes, u"#{a} # c", {}, "0+4 regex, 5+3 comment"},
        {hashes, u"\"\"\"a \" b\"\"\" if", {}, "0+11 heredoc ml, 12+2 keyword"},
        {hashes, u"\"a\" if", {}, "0+3 string ml, 4+2 keyword"},
        // With regions, a comment that begins with a quote character is a comment.
        {vimRegions, u"\" note\nif", {}, "0+6 comment, 7+2 keyword"},
        // Regions inside paint over a region's stretch, and inside them theirs; the rest of the
        // stretch is not read as tokens, unpainted but marked multi-line.
        {element,
         u"<p>it's</p> if",
         {},
         "0+1 - ml, 1+1 keyword ml, 2+7 - ml, 9+1 keyword ml, 10+1 - ml, 12+2 keyword"},
        // A region that needs its end is none without it, but the text it looked at is marked
        // multi-line, so that an edit there repaints from its begin; a later begin is still
        // found.
        {element, u"<p>it's if", {}, "0+5 - ml, 5+5 string ml"},
        {element,
         u"<b> <p>x</p>",
         {},
         "0+5 - ml, 5+1 keyword ml, 6+4 - ml, 10+1 keyword ml, 11+1 - ml"},
        // A code region's body is painted as code.
        {element,
         u"<p>{if 'a'}</p>",
         {},
         "0+1 - ml, 1+1 keyword ml, 2+2 - ml, 4+2 keyword ml, 6+1 - ml, 7+3 string ml, 10+3 - ml, "
         "13+1 keyword ml, 14+1 - ml"},
        // One whose end the range cuts short runs to the range's end, unless the text ends there.
        {element, u"<p>it's\nx</p> if", HVRange{0, 8}, "0+1 - ml, 1+1 keyword ml, 2+6 - ml"},
    };
    checkPaintings(cases);
}

// Regions are written back as read by the round trip of the whole definition below.
TEST(HVKeywordBasedParser, BadRegionsAreDroppedAndNestedOnesRoundTrip) {
    // Each bad region is reported and left out; the good one still paints.
    Dict bad =
        with(scriptDefinition(), "regions",
             Array{Dict{{"begin", "("}, {"end", "x"}}, Dict{{"begin", "a"}, {"end", "\\1"}},
                   Dict{{"begin", "a"}, {"end", "[x"}}, heredocRegion(), "junk",
                   Dict{{"begin", "b"}, {"end", "c"}, {"escape", "ab"}},
                   Dict{{"begin", "b"}, {"end", "c"}, {"multi-line", "yes"}},
                   Dict{{"begin", 3}, {"end", "c"}}, Dict{{"begin", "b"}, {"end", "c"}, {"id", 3}},
                   Dict{{"begin", "b"}, {"end", "c"}, {"needs-end", "yes"}},
                   Dict{{"begin", "b"}, {"end", "c"}, {"inside", "x"}},
                   Dict{{"begin", "b"}, {"end", "c"}, {"code", "x"}}});
    HVKeywordBasedParser partly(nullptr, bad);
    EXPECT_EQ(partly.loadErrors().size(), 11u);
    for (const auto& error : partly.loadErrors())
        EXPECT_EQ(error.domain(), HVSyntaxErrorDomain) << error.description();
    EXPECT_EQ(partly.regions().size(), 1u);
    EXPECT_EQ(paint(partly, u"(a <<E\nb\nE\nif"), "3+7 heredoc ml, 11+2 keyword");
    EXPECT_EQ(*partly.plistRepresentation().objectForKey("regions"),
              HVPlistValue(Array{heredocRegion()}));

    // Regions inside are written back as read; a bad one inside is reported and left out.
    const Dict element = elementDefinition();
    HVKeywordBasedParser nested(nullptr, element);
    EXPECT_EQ(*nested.plistRepresentation().objectForKey("regions"), element.at("regions"));
    HVKeywordBasedParser badInside(
        nullptr,
        with(scriptDefinition(), "regions",
             Array{Dict{{"begin", "a"},
                        {"end", "b"},
                        {"inside", Array{heredocRegion(), Dict{{"begin", "("}, {"end", ""}}}}}}));
    EXPECT_EQ(badInside.loadErrors().size(), 1u);
    ASSERT_EQ(badInside.regions().size(), 1u);
    EXPECT_EQ(badInside.regions()[0].inside().size(), 1u);

    HVKeywordBasedParser notAnArray(nullptr, with(scriptDefinition(), "regions", "x"));
    EXPECT_EQ(notAnArray.loadErrors().size(), 1u);
}

// A pattern that backtracks without end gives up at the match limit, which counts as no
// match, and painting goes on.
TEST(HVKeywordBasedParser, ARegionPatternStopsAtTheMatchLimit) {
    HVKeywordBasedParser parser(
        nullptr, with(scriptDefinition(), "regions",
                      Array{Dict{{"begin", "(a+)+$"}, {"end", "x"}, {"id", "regex"}}}));
    ASSERT_EQ(parser.regions().size(), 1u);
    std::u16string text(3000, u'a');
    text += u"! if";
    EXPECT_EQ(paint(parser, text), "3002+2 keyword");
    EXPECT_TRUE(parser.regions()[0].beginRegex().lastSearchHitMatchLimit());
    EXPECT_EQ(parser.regions()[0].beginRegex().matchLimit(), HVSyntaxRegion::matchLimit);
}

TEST(HVKeywordBasedParser, OnlyTheRangeIsPaintedAndMarked) {
    auto owner = std::make_shared<HVKeywordBasedParser>(nullptr, scriptDefinition());
    HVKeywordBasedParser& parser = *owner;
    auto theme = testTheme();
    parser.setTheme(theme);
    HVTextBuffer buffer(u"if if if");
    parser.parseRange({3, 2}, buffer);
    EXPECT_EQ(HVDumpRuns(buffer, *theme), "3+2 keyword");
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 2), nullptr);
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 3).get(), &parser);
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 5), nullptr);
    // A range reaching beyond the text is cut at its end.
    parser.parseRange({6, 100}, buffer);
    EXPECT_EQ(HVDumpRuns(buffer, *theme), "3+2 keyword, 6+2 keyword");
    parser.parseRange({HVNotFound, 5}, buffer);

    // Nothing to paint: only the mark.
    HVTextBuffer plain(u"  ;; ++ \n");
    parser.parseRange({0, plain.length()}, plain);
    EXPECT_EQ(plain.runCount(), 1u);
    EXPECT_EQ(HVParser::parserAtIndex(plain, 0).get(), &parser);
    EXPECT_EQ(HVParser::parserAtIndex(plain, 8).get(), &parser);
}

TEST(HVKeywordBasedParser, StyleIdsTheThemeLacks) {
    HVKeywordBasedParser parser(nullptr, scriptDefinition());
    auto sparse = HVMakeTestTheme({"keyword"});
    parser.setTheme(sparse);
    HVTextBuffer buffer(u"/* a */ 'b' // c\nif var");
    parser.parseRange({0, buffer.length()}, buffer);
    // Runs the theme does not colour keep their colours but carry their style id; the block
    // comment and the string are still multi-line, so that a re-parse after an edit starts
    // where they start whatever the theme.
    EXPECT_EQ(HVDumpRuns(buffer, *sparse), "0+7 - ml, 8+3 - ml, 17+2 keyword");
    auto styleAt = [&](std::size_t index) {
        auto value = buffer.attribute(HVStyleAttribute, index);
        return value ? std::get<std::string>(*value) : std::string("none");
    };
    EXPECT_EQ(styleAt(0) + " " + styleAt(8) + " " + styleAt(13) + " " + styleAt(17) + " " +
                  styleAt(20),
              "comment.block string.quoted.single comment.line keyword.control storage.type");

    // Without a theme nothing is coloured but the parser still marks its range.
    auto bare = std::make_shared<HVKeywordBasedParser>(nullptr, scriptDefinition());
    HVTextBuffer other(u"if 'x'");
    bare->parseRange({0, other.length()}, other);
    EXPECT_EQ(HVDumpRuns(other, *sparse), "");
    EXPECT_EQ(HVParser::parserAtIndex(other, 0), bare);
}

TEST(HVKeywordBasedParser, ANewThemeRecolours) {
    HVKeywordBasedParser parser(nullptr, scriptDefinition());
    auto first = HVMakeTestTheme({"keyword", "string"});
    auto second = HVMakeTestTheme({"string", "keyword"});
    parser.setTheme(first);
    HVTextBuffer buffer(u"if 'a'");
    parser.parseRange({0, buffer.length()}, buffer);
    EXPECT_EQ(HVDumpRuns(buffer, *first), "0+2 keyword, 3+3 string ml");
    parser.setTheme(second);
    buffer.setAttributes(HVAttributes(), {0, buffer.length()});
    parser.parseRange({0, buffer.length()}, buffer);
    EXPECT_EQ(HVDumpRuns(buffer, *second), "0+2 keyword, 3+3 string ml");
    EXPECT_EQ(HVDumpRuns(buffer, *first), "0+2 string, 3+3 keyword ml")
        << "the colours are the second theme's";
}

TEST(HVKeywordBasedParser, CommentsAndQuotesSetInThePreferences) {
    HVKeywordBasedParser parser(nullptr, std::string("text.new"));
    parser.setKeywordCharacters(u"abcdefghijklmnopqrstuvwxyz");
    parser.setIdentifiers({{"keyword", {u"fi"}}});
    parser.setComments({HVComment(u"#", u"", "comment"), HVComment(u"{-", u"-}", "comment")});
    parser.setQuotes(std::nullopt, "string");
    EXPECT_EQ(paint(parser, u"fi # x\n{- y\n-} 'a' \"b\""),
              "0+2 keyword, 3+3 comment, 7+7 comment ml, 19+3 string ml");
}

TEST(HVKeywordBasedParser, SyntaxDefinitionRoundTrips) {
    Dict definition = shellDefinition();
    definition["folding"] = Dict{{"open", "\\{"}, {"close", "\\}"}};
    HVKeywordBasedParser parser(nullptr, definition);
    EXPECT_TRUE(parser.loadErrors().empty());
    // Everything is written back except "case-sensitive", which definitions never carry out.
    Dict written = definition;
    written.erase("case-sensitive");
    EXPECT_EQ(parser.plistRepresentation(), HVPlistValue(written));

    HVTemporaryDirectory dir;
    ASSERT_TRUE(parser.commitToPath(dir.path()));
    auto reread = HVPropertyList::readFromFile(dir.path() + "/syntax.plist");
    ASSERT_TRUE(reread);
    HVKeywordBasedParser again(nullptr, *reread);
    EXPECT_EQ(again.plistRepresentation(), HVPlistValue(written));
    EXPECT_FALSE(again.caseSensitive());
    EXPECT_EQ(paint(again, u"if 1 'a' // b"), paint(parser, u"if 1 'a' // b"));

    // A minimal definition writes only what it has; keywords without a style id are left out.
    Dict minimal{{"format-type", "keyword"},
                 {"keywords", Dict{{"", Array{"lost"}}}},
                 {"comments", Array{Dict{{"begin", "#"}}}}};
    HVKeywordBasedParser small(nullptr, minimal);
    EXPECT_EQ(small.plistRepresentation(),
              HVPlistValue(Dict{{"format-version", "1.0"},
                                {"format-type", "keyword"},
                                {"comments", Array{Dict{{"begin", "#"}}}}}));
}

TEST(HVKeywordBasedParser, KeywordGroupsForThePreferences) {
    HVKeywordBasedParser parser(nullptr, scriptDefinition());
    auto groups = parser.identifiers();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0], (HVKeywordGroup{"constant.numeric", {u"[0-9]+"}}));
    EXPECT_EQ(groups[1], (HVKeywordGroup{"keyword.control", {u"else", u"if", u"return"}}));
    EXPECT_EQ(groups[2], (HVKeywordGroup{"storage.type", {u"function", u"var"}}));
    // Texts with a character outside the keyword characters become patterns.
    HVError error;
    EXPECT_TRUE(parser.setIdentifiers({{"keyword", {u"while", u"do", u"", u"0x[0-9a-f]+"}},
                                       {"", {u"ignored"}},
                                       {"constant.numeric", {u"[0-9]+"}}},
                                      &error));
    EXPECT_EQ(paint(parser, u"while 0xff if 12"),
              "0+5 keyword, 6+4 keyword, 14+2 constant.numeric");
    EXPECT_EQ(paint(parser, u"if while"), "3+5 keyword") << "words seen before look up anew";
    EXPECT_EQ(parser.identifiers()[1],
              (HVKeywordGroup{"keyword", {u"0x[0-9a-f]+", u"do", u"while"}}));

    // A pattern that does not compile is reported and kept, matching nothing.
    EXPECT_FALSE(parser.setIdentifiers({{"keyword", {u"(", u"do"}}}, &error));
    EXPECT_EQ(error.domain(), HVSyntaxErrorDomain);
    EXPECT_EQ(paint(parser, u"do ("), "0+2 keyword");
    EXPECT_EQ(*parser.plistRepresentation().objectForKey("regex-keywords"),
              HVPlistValue(Array{Dict{{"id", "keyword"}, {"keyword", "("}}}));

    parser.setKeywordCharacters(u"od");
    EXPECT_EQ(paint(parser, u"do do"), "0+2 keyword, 3+2 keyword");
}

TEST(HVKeywordBasedParser, BadDefinitionsAreReportedAndPaintWhatTheyCan) {
    Dict bad = scriptDefinition();
    bad["keywords"] = Dict{{"keyword", Array{"if", 3}}, {"storage", "var"}};
    bad["regex-keywords"] =
        Array{Dict{{"id", "constant.numeric"}, {"keyword", "[0-9"}}, Dict{{"id", "x"}}, "junk"};
    bad["comments"] = Array{Dict{{"end", "*/"}}, Dict{{"begin", "#"}, {"id", "comment"}}};
    bad["quotes"] = "double";
    HVKeywordBasedParser parser(nullptr, bad);
    EXPECT_EQ(parser.loadErrors().size(), 7u);
    for (const auto& error : parser.loadErrors())
        EXPECT_EQ(error.domain(), HVSyntaxErrorDomain) << error.description();
    EXPECT_EQ(paint(parser, u"if 1 'a' # c"), "0+2 keyword, 9+3 comment");
    EXPECT_EQ(*parser.plistRepresentation().objectForKey("regex-keywords"),
              HVPlistValue(Array{Dict{{"id", "constant.numeric"}, {"keyword", "[0-9"}}}));

    HVKeywordBasedParser notADictionary(nullptr, HVPlistValue(Array{}));
    EXPECT_EQ(paint(notADictionary, u"if 'a'"), "");
}
