#include "HVKeywordBasedParser.h"
#include "HVParser.h"
#include "HVSyntaxHighlighting.h"
#include "HVSyntaxTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"

#include <gtest/gtest.h>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

} // namespace

TEST(HVSyntaxHighlighting, ReStylingResetsWhatAnEarlierPaintingLeft) {
    HVKeywordBasedParser parser(
        nullptr,
        Dict{{"format-id", "text.x"},
             {"format-type", "keyword"},
             {"keyword-characters", "abcdefghijklmnopqrstuvwxyz"},
             {"keywords", Dict{{"keyword", Array{"if"}}}},
             {"comments", Array{Dict{{"begin", "/*"}, {"end", "*/"}, {"id", "comment"}}}}});
    auto theme = HVMakeTestTheme({"keyword", "comment"});
    theme->changeStyle("keyword", theme->attributesForIdentifier("keyword").setting(
                                      HVFontTraitsAttribute, std::int64_t(HVBoldFontTrait)));
    parser.setTheme(theme);
    HVTextBuffer buffer(u"if /* x */");
    HVSyntaxHighlighting::highlightText(buffer, parser, *theme);
    EXPECT_EQ(HVDumpAllRuns(buffer), "0+2 keyword text.x #000001ff traits=1\n"
                                     "2+1 - text.x #000000ff\n"
                                     "3+7 comment text.x ml #000002ff\n");
    buffer.replaceCharacters({0, 10}, u"ix  x  x  ");
    HVSyntaxHighlighting::highlightText(buffer, parser, *theme);
    EXPECT_EQ(HVDumpAllRuns(buffer), "0+10 - text.x #000000ff\n");

    // Fold attachments and other attributes survive.
    buffer.addAttribute("custom", true, {4, 2});
    HVSyntaxHighlighting::highlightRange(buffer, parser, {0, 10}, *theme);
    EXPECT_TRUE(buffer.attributesAtIndex(4)->boolValue("custom"));
    EXPECT_EQ(buffer.attributesAtIndex(0)->color(HVBackgroundColorAttribute)->red, 1.0);
}

TEST(HVSyntaxHighlighting, ARunDoesNotKeepItsParserAliveAndNeverDangles) {
    auto parser = std::make_shared<HVKeywordBasedParser>(
        nullptr, Dict{{"format-id", "text.x"},
                      {"format-type", "keyword"},
                      {"keyword-characters", "abcdefghijklmnopqrstuvwxyz"},
                      {"keywords", Dict{{"keyword", Array{"if"}}}}});
    auto theme = HVMakeTestTheme({"keyword"});
    parser->setTheme(theme);
    HVTextBuffer buffer(u"if x");
    HVSyntaxHighlighting::highlightText(buffer, *parser, *theme);
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 0), parser);
    HVAttributesRef painted = buffer.attributesAtIndex(0);
    parser.reset();
    // The bundles were reloaded, say: the run still names a parser, which is now gone.
    EXPECT_EQ(HVParser::parserAtIndex(buffer, 0), nullptr);
    EXPECT_EQ(HVParserIdentifierOfRun(*painted), "gone");
    // Another parser, even one that took over the freed memory, is not the one that painted
    // the run.
    auto again = std::make_shared<HVKeywordBasedParser>(nullptr, std::string("text.y"));
    HVTextBuffer other(u"if");
    again->parseRange({0, 2}, other);
    EXPECT_NE(*other.attributesAtIndex(0)->reference(HVParserAttribute),
              *painted->reference(HVParserAttribute));
}
