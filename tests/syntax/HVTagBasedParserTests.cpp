// Tags, double-quoted values, single quotes that are part of a tag, a ">" inside a value and a
// lone "<" in text are painted in the reference output of tests/data/highlight/test-markup.

#include "HVKeywordBasedParser.h"
#include "HVSyntaxHighlighting.h"
#include "HVSyntaxTestSupport.h"
#include "HVTagBasedParser.h"
#include "HVTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

Dict markupDefinition() {
    return Dict{
        {"format-id", "text.html"},
        {"format-type", "tag"},
        {"style", Dict{{"tags", "entity.name.tag"},
                       {"attributes", "entity.other.attribute-name"},
                       {"quotes", "string.quoted.attribute-value"},
                       {"comments", "comment.block"}}},
        {"embedded", Dict{{"script", "text.js"},
                          {"style", Dict{{"id", "text.css"}, {"end", "</style>"}}},
                          {"code", "text.nowhere"}}},
        {"embedded-elements", Array{"text.tpl"}},
    };
}

Dict scriptDefinition(bool singleQuotes) {
    Dict quotes{{"double", "string.quoted.double"}};
    if (singleQuotes)
        quotes["single"] = "string.quoted.single";
    return Dict{{"format-id", singleQuotes ? "text.js" : "text.js-double"},
                {"format-type", "keyword"},
                {"keyword-characters", "abcdefghijklmnopqrstuvwxyz"},
                {"keywords", Dict{{"keyword", Array{"var", "if"}}}},
                {"quotes", quotes},
                {"comments", Array{Dict{{"begin", "//"}, {"id", "comment.line"}},
                                   Dict{{"begin", "/*"}, {"end", "*/"}, {"id", "comment.line"}}}}};
}

Dict dialectDefinition(const std::string& identifier, const std::string& prefix,
                       const std::string& tags) {
    return Dict{{"format-id", identifier},
                {"format-type", "tag"},
                {"tag-prefix", prefix},
                {"style", Dict{{"tags", tags}, {"quotes", "string.quoted.double"}}}};
}

// A markup parser with a script language, a style-sheet language and a template dialect, all
// resolved and given one theme.
struct Languages {
    std::shared_ptr<HVTheme> theme =
        HVMakeTestTheme({"entity.name.tag", "string.quoted.attribute-value", "comment.block",
                         "keyword", "string.quoted.double", "string.quoted.single", "comment.line",
                         "keyword.other", "storage.type"});
    std::shared_ptr<HVTagBasedParser> markup;
    std::shared_ptr<HVParser> script;
    std::shared_ptr<HVParser> style;
    std::shared_ptr<HVTagBasedParser> dialect;
    // Server-side code: "echo" is its word, double quotes its strings.
    std::shared_ptr<HVParser> code = std::make_shared<HVKeywordBasedParser>(
        nullptr, Dict{{"format-id", "text.code"},
                      {"format-type", "keyword"},
                      {"keyword-characters", "abcdefghijklmnopqrstuvwxyz"},
                      {"keywords", Dict{{"storage.type", Array{"echo"}}}},
                      {"quotes", Dict{{"double", "string.quoted.double"}}}});

    explicit Languages(bool singleQuotes = true, Dict definition = markupDefinition()) {
        markup = std::make_shared<HVTagBasedParser>(nullptr, definition);
        script = std::make_shared<HVKeywordBasedParser>(nullptr, scriptDefinition(singleQuotes));
        style = std::make_shared<HVKeywordBasedParser>(
            nullptr, Dict{{"format-id", "text.css"},
                          {"format-type", "keyword"},
                          {"keyword-characters", "abcdefghijklmnopqrstuvwxyz"},
                          {"keywords", Dict{{"keyword", Array{"color"}}}}});
        dialect = std::make_shared<HVTagBasedParser>(
            nullptr, dialectDefinition("text.tpl", "TPL:", "keyword.other"));
        EXPECT_TRUE(markup->loadErrors().empty());
        markup->finishLoad([&](const std::string& identifier) -> std::shared_ptr<HVParser> {
            if (identifier == "text.js")
                return script;
            if (identifier == "text.css")
                return style;
            if (identifier == "text.tpl")
                return dialect;
            if (identifier == "text.code")
                return code;
            return nullptr;
        });
        markup->setTheme(theme);
    }

    // Paints the text as the highlighting driver does, leaving out plain runs.
    std::string paintWhole(std::u16string_view text) {
        HVTextBuffer buffer(text);
        HVSyntaxHighlighting::highlightText(buffer, *markup, *theme);
        std::string out;
        std::string runs = HVDumpRuns(buffer, *theme) + ", ";
        for (std::size_t at = 0, next; (next = runs.find(", ", at)) != std::string::npos;
             at = next + 2) {
            std::string run = runs.substr(at, next - at);
            if (run.size() > 2 && run.compare(run.size() - 2, 2, " ?") != 0)
                out += (out.empty() ? "" : ", ") + run;
        }
        return out;
    }

    // Paints the text the way the highlighting step does (the regions through their parsers)
    // and dumps the runs.
    std::string paint(std::u16string_view text, std::optional<HVRange> range = std::nullopt,
                      HVParserRegions* regions = nullptr) {
        HVTextBuffer buffer(text);
        HVParserRegions found = markup->parseRange(range.value_or(HVRange{0, text.size()}), buffer);
        for (const auto& [region, parser] : found)
            parser->parseRange(region, buffer);
        if (regions)
            *regions = found;
        return HVDumpRuns(buffer, *theme);
    }
};

std::string describe(const HVParserRegions& regions) {
    std::string out;
    for (const auto& [range, parser] : regions) {
        if (!out.empty())
            out += ", ";
        out += std::to_string(range.location) + "+" + std::to_string(range.length) + " " +
               parser->identifier();
    }
    return out;
}

} // namespace

TEST(HVTagBasedParser, RangeEndsInsideTagsAndComments) {
    Languages languages;
    // A "<" that is the last character of the range is a tag.
    EXPECT_EQ(languages.paint(u"ab <"), "3+1 entity.name.tag ml");
    EXPECT_EQ(languages.paint(u"<b>x<y>", HVRange{0, 5}),
              "0+3 entity.name.tag ml, 4+1 entity.name.tag ml");
    // A tag without ">" runs to the end of the range; so does a value without its quote.
    EXPECT_EQ(languages.paint(u"<div\n  class=\"a\"\n  id=\"b", HVRange{0, 23}),
              "0+13 entity.name.tag ml, 13+3 string.quoted.attribute-value ml, "
              "16+6 entity.name.tag ml, 22+1 string.quoted.attribute-value ml");
    // An unterminated comment runs to the end; a closed one stops at "-->".
    EXPECT_EQ(languages.paint(u"x <!-- open\n<b> still"), "2+19 comment.block ml");
    EXPECT_EQ(languages.paint(u"<!---->x"), "0+7 comment.block ml");
}

// Where regions begin and end, the name's letter case and an end string inside a
// double-quoted string are in the reference output of tests/data/highlight/test-markup.
TEST(HVTagBasedParser, EndStringsInsideTheLanguagesStringsDoNotEndTheRegion) {
    HVParserRegions regions;
    {
        Languages languages;
        // Without its end the region runs to the end of the range.
        languages.paint(u"<script>var x", std::nullopt, &regions);
        EXPECT_EQ(describe(regions), "7+6 text.js");
        //                 0         1         2         3         4
        //                 0123456789012345678901234567890123456789012345
        languages.paint(u"<script>a=\"</script>\";b='</script>';</script>", std::nullopt, &regions);
        EXPECT_EQ(describe(regions), "7+31 text.js");
        // An apostrophe in a comment opens nothing, and a quote of the other kind inside a
        // string does not count.
        languages.paint(u"<script>// don't\na=\"it's\";</script>", std::nullopt, &regions);
        EXPECT_EQ(describe(regions), "7+21 text.js");
        // Escaped quotes do not end the string.
        languages.paint(u"<script>a=\"\\\"</script>\"</script>", std::nullopt, &regions);
        EXPECT_EQ(describe(regions), "7+18 text.js");
    }
    {
        // A language without single-quoted strings: the first end outside double quotes ends.
        Languages languages(false, [] {
            Dict definition = markupDefinition();
            definition["embedded"] = Dict{{"script", "text.js-double"}};
            return definition;
        }());
        languages.markup->finishLoad([&](const std::string&) { return languages.script; });
        //                         0         1         2         3
        //                         0123456789012345678901234567890
        EXPECT_EQ(languages.paint(u"<script>b='</script>';</script>", std::nullopt, &regions),
                  "0+7 entity.name.tag ml, 13+7 entity.name.tag ml, 22+9 entity.name.tag ml");
        // The closing tag that follows is a tag, not the opening of another region.
        EXPECT_EQ(describe(regions), "7+6 text.js-double");
    }
}

TEST(HVTagBasedParser, AMissingLanguageIsIgnored) {
    Languages languages;
    HVParserRegions regions;
    EXPECT_EQ(languages.paint(u"<code>var</code>", std::nullopt, &regions),
              "0+6 entity.name.tag ml, 9+7 entity.name.tag ml");
    EXPECT_EQ(describe(regions), "");
    std::vector<std::string> subparsers;
    for (HVParser* parser : languages.markup->subparsers())
        subparsers.push_back(parser->identifier());
    EXPECT_EQ(subparsers, (std::vector<std::string>{"text.js", "text.css"}));

    // A language that goes away is no longer embedded.
    languages.style.reset();
    EXPECT_EQ(languages.paint(u"<style>a</style>", std::nullopt, &regions),
              "0+7 entity.name.tag ml, 8+8 entity.name.tag ml");
    EXPECT_EQ(languages.markup->subparsers().size(), 1u);
}

TEST(HVTagBasedParser, DialectsLendTheirColoursByTagPrefix) {
    // How a dialect paints is in the reference output of tests/data/highlight/test-markup.
    Languages languages;
    // When two dialects' prefixes begin a name, the one listed last wins.
    Dict definition = markupDefinition();
    definition["embedded-elements"] = Array{"text.t", "text.tpl"};
    HVTagBasedParser markup(nullptr, definition);
    auto broad =
        std::make_shared<HVTagBasedParser>(nullptr, dialectDefinition("text.t", "t", "keyword"));
    markup.finishLoad([&](const std::string& identifier) -> std::shared_ptr<HVParser> {
        return identifier == "text.t" ? std::shared_ptr<HVParser>(broad) : languages.dialect;
    });
    markup.setTheme(languages.theme);
    HVTextBuffer buffer(u"<tpl:x><td>");
    markup.parseRange({0, buffer.length()}, buffer);
    EXPECT_EQ(HVDumpRuns(buffer, *languages.theme), "0+7 keyword.other ml, 7+4 keyword ml");
}

// That the theme reaches every embedded language and dialect shows in the reference output of
// tests/data/highlight/test-markup.
TEST(HVTagBasedParser, DialectsThatListEachOtherStopPassingTheThemeOn) {
    Languages languages;
    auto first = std::make_shared<HVTagBasedParser>(
        nullptr, Dict{{"format-id", "a"}, {"embedded-elements", Array{"b"}}});
    auto second = std::make_shared<HVTagBasedParser>(
        nullptr, Dict{{"format-id", "b"}, {"embedded-elements", Array{"a"}}});
    auto lookup = [&](const std::string& identifier) -> std::shared_ptr<HVParser> {
        return identifier == "a" ? first : second;
    };
    first->finishLoad(lookup);
    second->finishLoad(lookup);
    first->setTheme(languages.theme);
    EXPECT_EQ(second->theme(), languages.theme);
    EXPECT_EQ(first->embeddedTagParsers(), std::vector<HVTagBasedParser*>{second.get()});
}

TEST(HVTagBasedParser, StylesWithoutIdsPaintNothing) {
    auto owner = std::make_shared<HVTagBasedParser>(
        nullptr, Dict{{"format-id", "text.bare"}, {"format-type", "tag"}});
    HVTagBasedParser& markup = *owner;
    auto theme = HVMakeTestTheme({"entity.name.tag"});
    markup.setTheme(theme);
    HVTextBuffer buffer(u"<p class=\"x\">");
    markup.parseRange({0, buffer.length()}, buffer);
    EXPECT_EQ(HVDumpRuns(buffer, *theme), "");
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 5).get(), &markup);
}

TEST(HVTagBasedParser, DefinitionRoundTripsAndBadEntriesAreReported) {
    HVTagBasedParser markup(nullptr, markupDefinition());
    Dict written = *markup.plistRepresentation().dictionary();
    EXPECT_EQ(HVPlistValue(written["embedded"]),
              HVPlistValue(Dict{{"code", Dict{{"id", "text.nowhere"}, {"end", "code>"}}},
                                {"script", Dict{{"id", "text.js"}, {"end", "script>"}}},
                                {"style", Dict{{"id", "text.css"}, {"end", "</style>"}}}}));
    EXPECT_EQ(written.count("embedded-elements"), 0u) << "dialects are not written";
    EXPECT_EQ(HVPlistValue(written["style"]), HVPlistValue(markupDefinition()["style"]));
    HVTagBasedParser again(nullptr, HVPlistValue(written));
    EXPECT_EQ(again.plistRepresentation(), HVPlistValue(written));

    HVTagBasedParser bad(nullptr, Dict{{"format-type", "tag"},
                                       {"embedded", Dict{{"x", Dict{{"end", "y"}}}, {"Y", "z"}}},
                                       {"embedded-elements", "text.tpl"},
                                       {"style", Array{}}});
    EXPECT_EQ(bad.loadErrors().size(), 3u);
    // Entry keys are taken in lower case.
    EXPECT_EQ(bad.embedded().count(u"y"), 1u);
}

// Server-side code in every place it may stand, delimiters, and the language an element's
// attributes choose, painted through the driver.
TEST(HVTagBasedParser, CodeAnywhereDelimitersAndAttributeLanguages) {
    Dict definition = markupDefinition();
    Dict code{{"id", "text.code"}, {"end", "?>"}, {"anywhere", true}};
    definition["embedded"] =
        Dict{{"?", code},
             {"?=", code},
             {"?code", code},
             {"![cdata[", Dict{{"id", "text.css"}, {"end", "]]>"}}},
             {"script", Dict{{"id", "text.js"},
                             {"end", "</script>"},
                             {"attribute-languages", Dict{{"lang=ts", "text.code"},
                                                          {"lang=gone", "text.gone"},
                                                          {"type=text/x-template", ""}}}}},
             {"style", Dict{{"id", "text.css"}, {"end", "</style>"}}}};
    definition["delimiters"] = Dict{{"{{", Dict{{"id", "text.js"}, {"end", "}}"}}},
                                    {"{#", Dict{{"comment", true}, {"end", "#}"}}},
                                    {"{{!--", Dict{{"comment", true}, {"end", "--}}"}}}};
    Languages languages(true, definition);
    const std::vector<std::pair<std::u16string, std::string>> cases = {
        // A name that does not begin with a letter is a prefix, the longest first.
        {u"<?=echo?>", "0+3 entity.name.tag ml, 3+4 storage.type, 7+2 entity.name.tag ml"},
        {u"<?codeecho?>", "0+6 entity.name.tag ml, 6+4 storage.type, 10+2 entity.name.tag ml"},
        {u"<![CDATA[color]]>", "0+9 entity.name.tag ml, 9+5 keyword, 14+3 entity.name.tag ml"},
        // In a value, and a quote of the code does not end the value.
        {u"<a b=\"<?= \"\" ?>\">",
         "0+5 entity.name.tag ml, 5+1 string.quoted.attribute-value ml, "
         "6+3 entity.name.tag ml, 10+2 string.quoted.double ml, 13+2 entity.name.tag ml, "
         "15+1 string.quoted.attribute-value ml, 16+1 entity.name.tag ml"},
        // In a tag and in a markup comment, with a ">" and a "-->" inside.
        {u"<a <?= \">\" ?>>",
         "0+6 entity.name.tag ml, 7+3 string.quoted.double ml, 11+3 entity.name.tag ml"},
        {u"<!-- <?echo \"-->\"?> -->", "0+5 comment.block ml, 5+2 entity.name.tag ml, "
                                       "7+4 storage.type, 12+5 string.quoted.double ml, "
                                       "17+2 entity.name.tag ml, 19+4 comment.block ml"},
        // In a script's string: the script's colours give way to the code's. A quote in the
        // code can neither carry the script past its end nor open a string of the script.
        {u"<script>var a=\"<?= echo ?>\";</script>",
         "0+7 entity.name.tag ml, 8+3 keyword, 14+1 string.quoted.double ml, "
         "15+3 entity.name.tag ml, 19+4 storage.type, 24+2 entity.name.tag ml, "
         "26+1 string.quoted.double ml, 28+9 entity.name.tag ml"},
        {u"<script>var a=<?='?>;</script>if",
         "0+7 entity.name.tag ml, 8+3 keyword, 14+3 entity.name.tag ml, 18+2 entity.name.tag ml, "
         "21+9 entity.name.tag ml"},
        // Delimiters: in values and text, their end inside the language's strings, the
        // longest opening string first; comments painted whole.
        {u"<p c=\"{{if}}\">{{ \"}}\" }}{# <b> #}{{!-- }} --}}",
         "0+5 entity.name.tag ml, 5+1 string.quoted.attribute-value ml, "
         "6+2 entity.name.tag ml, 8+2 keyword, 10+2 entity.name.tag ml, "
         "12+1 string.quoted.attribute-value ml, 13+3 entity.name.tag ml, "
         "17+4 string.quoted.double ml, 22+2 entity.name.tag ml, 24+22 comment.block ml"},
        {u"<style>{# x #}</style>", "0+6 entity.name.tag ml, 7+7 comment.block ml, "
                                    "14+8 entity.name.tag ml"},
        // The language an attribute chooses; one not loaded leaves the element's own; markup.
        {u"<script lang=\"ts\">echo var</script>",
         "0+7 entity.name.tag ml, 13+4 string.quoted.double ml, 18+4 storage.type, "
         "26+9 entity.name.tag ml"},
        {u"<script lang=gone>var</script>",
         "0+7 entity.name.tag ml, 18+3 keyword, 21+9 entity.name.tag ml"},
        {u"<script TYPE='text/x-template'><b>var</b></script>",
         "0+34 entity.name.tag ml, 37+13 entity.name.tag ml"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(languages.paintWhole(text), expected) << HVUnicode::utf8(text);

    // A client-side template's expressions only in the markup, with nested braces.
    Dict client = markupDefinition();
    client["delimiters"] =
        Dict{{"{", Dict{{"id", "text.js"}, {"end", "}"}, {"markup-only", true}}}};
    Languages svelte(true, client);
    EXPECT_EQ(svelte.paintWhole(u"<b c={f({a:1})}>{if}<!--{if}--><script>if(a){}</script>"),
              "0+6 entity.name.tag ml, 14+3 entity.name.tag ml, 17+2 keyword, "
              "19+1 entity.name.tag ml, 20+11 comment.block ml, 31+7 entity.name.tag ml, "
              "39+2 keyword, 48+7 entity.name.tag ml");

    // The new keys are written back as read; bad delimiters and keys are reported.
    Dict written = *languages.markup->plistRepresentation().dictionary();
    EXPECT_EQ(HVPlistValue(written["delimiters"]), HVPlistValue(definition["delimiters"]));
    EXPECT_EQ(HVPlistValue(written["embedded"].dictionary()->at("?=")), HVPlistValue(code));
    HVTagBasedParser again(nullptr, HVPlistValue(written));
    EXPECT_EQ(again.plistRepresentation(), HVPlistValue(written));
    HVTagBasedParser bad(nullptr,
                         Dict{{"delimiters", Dict{{"{{", Dict{{"end", "}}"}}},
                                                  {"<%", Dict{{"id", "x"}, {"comment", true}}}}},
                              {"embedded", Dict{{"?", Dict{{"id", "x"}, {"anywhere", "yes"}}}}}});
    EXPECT_EQ(bad.loadErrors().size(), 3u);
}
