#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeNavItem.h"
#include "HVCodeNavParser.h"
#include "HVFileSystem.h"
#include "HVKeywordBasedParser.h"
#include "HVPropertyList.h"
#include "HVSyntaxTestSupport.h"
#include "HVTagBasedParser.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

// The entries as "location+length title" (titles in UTF-8; "-" for separators; "*bold*",
// "/italic/"), one per line.
std::string describe(const std::vector<HVCodeNavEntry>& entries) {
    std::string out;
    for (const auto& entry : entries) {
        std::string title = entry.separator ? "-" : HVUnicode::utf8(entry.title);
        if (entry.bold)
            title = "*" + title + "*";
        if (entry.italic)
            title = "/" + title + "/";
        out += std::to_string(entry.range.location) + "+" + std::to_string(entry.range.length) +
               " " + title + "\n";
    }
    return out;
}

std::vector<HVCodeNavEntry> run(const Array& items, std::u16string_view text,
                                std::optional<HVRange> range = std::nullopt) {
    HVCodeNavParser codeNavigation(items, nullptr);
    EXPECT_TRUE(codeNavigation.loadErrors().empty());
    return codeNavigation.matchesForString(text, range.value_or(HVRange{0, text.size()}));
}

const Dict kFunctions{{"pattern", "^function (\\w+)"}, {"display", "$1"}, {"bold", true}};

} // namespace

TEST(HVCodeNavParser, EachMatchGivesAnEntryWithTheWholeMatchsRange) {
    //                       0         1         2         3
    //                       0123456789012345678901234567890123456
    std::u16string text = u"function one() {}\nFUNCTION two() {}\n";
    EXPECT_EQ(describe(run({kFunctions}, text)), "0+12 *one*\n18+12 *two*\n");
    // "^" is a real line start: a range that begins within a line does not make one.
    EXPECT_EQ(describe(run({kFunctions}, text, HVRange{1, 36})), "18+12 *two*\n");
    // Parentheses in a template stand for a group; a backslash keeps them.
    EXPECT_EQ(describe(run({Dict{{"pattern", "^function (\\w+)"}, {"display", "$1\\(\\) in (0)"}}},
                           text)),
              "0+12 one() in function one\n18+12 two() in FUNCTION two\n");
}

TEST(HVCodeNavParser, TheParserSortsInterleavedItemsByPosition) {
    HVKeywordBasedParser parser(nullptr, Dict{{"format-id", "text.x"}});
    parser.setCodeNavParser(std::make_shared<HVCodeNavParser>(
        Array{kFunctions,
              Dict{{"pattern", "^class (\\w+)"}, {"display", "class $1"}, {"italic", true}}},
        &parser));
    std::u16string text = u"class A\nfunction b\nclass C\nfunction d\n";
    EXPECT_EQ(describe(parser.codeNavParser()->matchesForString(text, {0, text.size()})),
              "8+10 *b*\n27+10 *d*\n0+7 /class A/\n19+7 /class C/\n");
    EXPECT_EQ(describe(parser.codeNavItemsForString(text, {0, text.size()})),
              "0+7 /class A/\n8+10 *b*\n19+7 /class C/\n27+10 *d*\n");
}

TEST(HVCodeNavParser, TitlesOfSeventyOneCharactersOrMoreAreShortened) {
    std::u16string seventy(70, u'a');
    std::u16string seventyOne = u"0123456789012345678901234567890123X" + std::u16string(1, u'm') +
                                u"Y0123456789012345678901234567890123";
    ASSERT_EQ(seventyOne.size(), 71u);
    EXPECT_EQ(HVCodeNavItem::truncatedTitleForTitle(seventy), seventy);
    std::u16string shortened = HVCodeNavItem::truncatedTitleForTitle(seventyOne);
    EXPECT_EQ(shortened,
              u"0123456789012345678901234567890123X\u2026Y0123456789012345678901234567890123");
    EXPECT_EQ(HVCodeNavItem::truncatedTitleForTitle(std::u16string(200, u'b')).size(), 71u);

    std::u16string text = u"function " + std::u16string(80, u'z');
    auto entries = run({kFunctions}, text);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].title.size(), 71u);
    EXPECT_EQ(entries[0].range, (HVRange{0, 89}));
}

TEST(HVCodeNavParser, SeparatorsAndTitlesThatComeOutEmpty) {
    std::u16string text = u"// ---\nx\n// ---\n";
    EXPECT_EQ(describe(run({Dict{{"pattern", "^// -+$"}}}, text)), "0+6 -\n9+6 -\n");
    // A title that comes out empty is a separator too.
    EXPECT_EQ(describe(run({Dict{{"pattern", "^//( x)?"}, {"display", "$1"}}}, text)),
              "0+2 -\n9+2 -\n");
    // A match that the pattern does not match again on its own has no title and no entry.
    EXPECT_EQ(describe(run({Dict{{"pattern", "(?<=x\\n)//"}, {"display", "after x"}}}, text)), "");
}

TEST(HVCodeNavParser, APatternThatDoesNotCompileDropsOnlyItsItem) {
    HVCodeNavParser codeNavigation(
        Array{Dict{{"pattern", "(unclosed"}, {"display", "x"}}, kFunctions, "not a dictionary"},
        nullptr);
    EXPECT_EQ(codeNavigation.searches().size(), 1u);
    ASSERT_EQ(codeNavigation.loadErrors().size(), 2u);
    EXPECT_NE(codeNavigation.loadErrors()[0].description().find("(unclosed"), std::string::npos);
    std::u16string text = u"function f";
    EXPECT_EQ(describe(codeNavigation.matchesForString(text, {0, text.size()})), "0+10 *f*\n");
    HVCodeNavItem item(nullptr);
    EXPECT_FALSE(item.setSearchExpression(u"[x"));
    EXPECT_EQ(item.searchExpression(), u"[x");
    EXPECT_EQ(item.search(), nullptr);
}

TEST(HVCodeNavParser, ItemsRoundTripAndAreWrittenAsABinaryList) {
    Array items{Dict{{"pattern", "^a"}, {"display", "A"}, {"bold", true}, {"icon", "f.png"}},
                Dict{{"pattern", "^b"}, {"display", ""}, {"bold", false}, {"italic", true}}};
    HVCodeNavParser codeNavigation(items, nullptr);
    Array expected{Dict{{"pattern", "^a"}, {"display", "A"}, {"bold", true}, {"icon", "f.png"}},
                   Dict{{"pattern", "^b"}, {"display", ""}, {"italic", true}}};
    EXPECT_EQ(codeNavigation.plistRepresentation(), HVPlistValue(expected));

    HVTemporaryDirectory directory;
    HVError error;
    ASSERT_TRUE(codeNavigation.commitToPath(directory.path(), &error)) << error.fullDescription();
    std::string written = HVReadFile(directory.pathFor("codenav.plist"));
    EXPECT_EQ(written.substr(0, 6), "bplist");
    EXPECT_EQ(HVPropertyList::readFromData(written), HVPlistValue(expected));
}

TEST(HVCodeNavParser, IconsComeFromTheBundleThenFromTheApplication) {
    HVBundleTestEnvironment environment;
    std::string path = HVBundleTestEnvironment::writeBundle(
        environment.shippedBundles(), "Icons.hvbundle",
        Dict{{"CFBundleIdentifier", "x.icons"}, {"CFBundleName", "Icons"}},
        {{"syntax.plist", Dict{{"format-id", "text.icons"}, {"format-type", "keyword"}}},
         {"codenav.plist",
          Array{Dict{{"pattern", "^own"}, {"display", "own"}, {"icon", "own.png"}},
                Dict{{"pattern", "^shared"}, {"display", "shared"}, {"icon", "shared"}},
                Dict{{"pattern", "^none"}, {"display", "none"}, {"icon", "nowhere.png"}}}}});
    environment.write("Images/shared.png", "png");
    HVFileSystem::createDirectory(path + "/Contents/Resources");
    HVFileSystem::writeFileAtomically(path + "/Contents/Resources/own.png", "png");

    HVCodeNavParser::registerWithBundles();
    HVBundleRepository repository;
    auto bundle = repository.bundleForBundleIdentifier("x.icons");
    ASSERT_NE(bundle->codeNavParser(), nullptr);
    std::u16string text = u"own\nshared\nnone\n";
    std::vector<std::string> icons;
    for (const auto& entry : bundle->parser()->codeNavItemsForString(text, {0, text.size()}))
        icons.push_back(entry.iconName + " " + entry.iconPath);
    EXPECT_EQ(icons,
              (std::vector<std::string>{"own.png " + path + "/Contents/Resources/own.png",
                                        "shared " + environment.resources() + "/Images/shared.png",
                                        "nowhere.png "}));

    // A view may keep the parser after the bundles are read again: its entries lose only the
    // bundle's own images.
    auto parser = bundle->parser();
    bundle.reset();
    repository.reset();
    EXPECT_EQ(parser->bundle(), nullptr);
    icons.clear();
    for (const auto& entry : parser->codeNavItemsForString(text, {0, text.size()}))
        icons.push_back(entry.iconName + " " + entry.iconPath);
    EXPECT_EQ(icons, (std::vector<std::string>{
                         "own.png ", "shared " + environment.resources() + "/Images/shared.png",
                         "nowhere.png "}));
    HVCodeNavigation::setFactory(nullptr);
}

TEST(HVCodeNavParser, MarkupListsTheEntriesOfItsEmbeddedLanguages) {
    HVBundleTestEnvironment environment;
    environment.installTestBundles();
    HVCodeNavParser::registerWithBundles();
    HVBundleRepository repository;
    auto markup = repository.bundleForFileCategory(nullptr, "tmarkup");
    ASSERT_NE(markup, nullptr);
    ASSERT_TRUE(repository.loadErrors().empty()) << repository.loadErrors()[0].description();
    std::u16string text = u"<h1>Top</h1>\n"
                          u"<script>\nfunction a() {}\n</script>\n"
                          u"<style>\nbody {}\n</style>\n"
                          u"<h2>Middle</h2>\n"
                          u"<SCRIPT>\nclass B {}\nfunction c() {}\n";
    EXPECT_EQ(describe(markup->parser()->codeNavItemsForString(text, {0, text.size()})),
              "0+12 Top\n22+10 *a()*\n56+6 body\n73+15 Middle\n98+7 /class B/\n109+10 *c()*\n");
    // Headings inside a script are the script's business.
    std::u16string inside = u"<script>\n<h1>No</h1>\n</script><h1>Yes</h1>";
    EXPECT_EQ(describe(markup->parser()->codeNavItemsForString(inside, {0, inside.size()})),
              "30+12 Yes\n");
    HVCodeNavigation::setFactory(nullptr);
}
