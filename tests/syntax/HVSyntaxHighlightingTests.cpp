#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVFileSystem.h"
#include "HVKeywordBasedParser.h"
#include "HVParser.h"
#include "HVSyntaxHighlighting.h"
#include "HVSyntaxTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

struct Edit {
    std::u16string_view find;
    std::u16string_view replace;
};

class IncrementalHighlighting : public ::testing::Test {
protected:
    void SetUp() override {
        environment.installTestBundles();
        theme = HVMakeTestTheme({"comment", "string", "keyword", "storage", "constant",
                                 "entity.name.tag", "string.quoted.attribute-value", "support",
                                 "keyword.other"});
        // Bold keywords, so that a stale bold face would show.
        theme->changeStyle("keyword", theme->attributesForIdentifier("keyword").setting(
                                          HVFontTraitsAttribute, std::int64_t(HVBoldFontTrait)));
    }

    HVParser& parserFor(std::string_view extension) {
        auto bundle = repository.bundleForFileCategory(nullptr, extension);
        EXPECT_NE(bundle, nullptr) << extension;
        bundle->parser()->setTheme(theme);
        return *bundle->parser();
    }

    std::string paintWhole(HVParser& parser, std::u16string_view text) {
        HVTextBuffer buffer(text);
        HVSyntaxHighlighting::highlightText(buffer, parser, *theme);
        return HVDumpAllRuns(buffer);
    }

    // Paints the sample whole, makes the edit, re-paints what the driver would, and compares
    // with a whole painting of the edited text.
    void expectIncrementalEqualsWhole(HVParser& main, std::u16string_view sample,
                                      const Edit& edit) {
        SCOPED_TRACE(HVUnicode::utf8(edit.find) + " -> " + HVUnicode::utf8(edit.replace));
        std::size_t at = sample.find(edit.find);
        ASSERT_NE(at, std::u16string_view::npos);
        HVTextBuffer buffer(sample);
        HVSyntaxHighlighting::highlightText(buffer, main, *theme);
        buffer.replaceCharacters({at, edit.find.size()}, edit.replace);
        HVRange range =
            HVSyntaxHighlighting::rangeToHighlightForRange(buffer, {at, edit.replace.size()});
        // The parser in force where the range starts, as the driver keeps it.
        std::shared_ptr<HVParser> parser = HVParser::parserAtIndex(buffer, range.location);
        HVSyntaxHighlighting::highlightRange(buffer, parser ? *parser : main, range, *theme);

        std::u16string edited(sample);
        edited.replace(at, edit.find.size(), edit.replace);
        EXPECT_EQ(HVDumpAllRuns(buffer), paintWhole(main, edited));
    }

    HVBundleTestEnvironment environment;
    HVBundleRepository repository;
    std::shared_ptr<HVTheme> theme;
};

std::u16string sample(const std::string& relative) {
    return HVUnicode::utf16(HVReadFile(HVTestDataPath("highlight/" + relative)));
}

// Per character (carriage returns left out): the style, the parser and the multi-line mark.
std::vector<std::string> characterStyles(const HVTextBuffer& buffer, bool skipCarriageReturns) {
    std::vector<std::string> styles;
    for (std::size_t i = 0; i < buffer.length(); ++i) {
        if (skipCarriageReturns && buffer.characterAtIndex(i) == u'\r')
            continue;
        auto attributes = buffer.attributesAtIndex(i);
        const HVAttributeValue* style = attributes->value(HVStyleAttribute);
        styles.push_back((style ? std::get<std::string>(*style) : "-") + "/" +
                         HVParserIdentifierOfRun(*attributes) +
                         (attributes->boolValue(HVMultiLineAttribute) ? "/ml" : ""));
    }
    return styles;
}

} // namespace

TEST_F(IncrementalHighlighting, KeywordParserRepaintsOnlyTheEditedLinesAndEqualsAWholePainting) {
    HVParser& script = parserFor("tscript");
    std::u16string text = sample("test-script/sample.tscript");
    for (const Edit& edit : {
             Edit{u"return a + b", u"retur a + b"},          // a keyword stops being one
             Edit{u"over two lines", u"over 2 lines"},       // inside a block comment
             Edit{u"var count", u"let z = 'q';\nvar count"}, // a new line
             Edit{u"\"editor\\\"", u"\"edit\\\""},           // inside a string
             Edit{u"function add(a, b) {\n", u""},           // a line deleted
             Edit{u"count = count + 1;", u"count = count + 1; // more"},
             Edit{u"to the end", u"to an end"}, // the unterminated string
         }) {
        expectIncrementalEqualsWhole(script, text, edit);
    }
}

TEST_F(IncrementalHighlighting, TagParserRepaintsOnlyTheEditedLinesAndEqualsAWholePainting) {
    HVParser& markup = parserFor("tmarkup");
    std::u16string text = sample("test-markup/sample.tmarkup");
    for (const Edit& edit : {
             Edit{u"Halvet &amp;", u"Halvet and"},                      // text between tags
             Edit{u"class=\"page\"", u"class=\"pages\""},               // a value
             Edit{u"over two lines", u"over 2 lines"},                  // a comment's second line
             Edit{u"data-x=\"1 > 0\"", u"data-x=\"2 > 0\""},            // a tag's third line
             Edit{u"var s = \"quotes\";", u"var t = 'quote';"},         // inside the script
             Edit{u"margin: 0", u"margin: 10px"},                       // inside the style sheet
             Edit{u"<h1>Welcome</h1>\n", u"<h1>Welcome</h1>\n<br/>\n"}, // a new line
             Edit{u"Hello <tpl:var", u"Hi <tpl:var"},                   // a dialect's line
         }) {
        expectIncrementalEqualsWhole(markup, text, edit);
    }
}

TEST_F(IncrementalHighlighting, CRLFPaintsTheSameAsLF) {
    for (const char* file : {"test-script/sample.tscript", "test-markup/sample.tmarkup"}) {
        SCOPED_TRACE(file);
        std::u16string lf = sample(file);
        std::u16string crlf;
        for (char16_t c : lf) {
            if (c == u'\n')
                crlf += u'\r';
            crlf += c;
        }
        HVParser& parser = parserFor(HVFileSystem::pathExtension(file));
        HVTextBuffer unix(lf);
        HVTextBuffer dos(crlf);
        HVSyntaxHighlighting::highlightText(unix, parser, *theme);
        HVSyntaxHighlighting::highlightText(dos, parser, *theme);
        EXPECT_EQ(characterStyles(dos, true), characterStyles(unix, false));
    }
}

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
