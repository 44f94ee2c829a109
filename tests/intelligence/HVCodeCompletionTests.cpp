#include "HVBundleRepository.h"
#include "HVCSSCodeCompletion.h"
#include "HVCodeIndex.h"
#include "HVCompletionTestSupport.h"
#include "HVDispatcher.h"
#include "HVKeywordCodeCompletion.h"
#include "HVNotificationCenter.h"
#include "HVPropertyList.h"
#include "HVTagCodeCompletion.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

// "$" belongs to words, "-" and "." do not.
const Dict kScriptSyntax{
    {"format-id", "source.script.test"},
    {"format-type", "keyword"},
    {"keyword-characters", "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_$"}};

const Dict kScriptCompletion{
    {"format-type", "keyword"},
    {"keys", Dict{{"print", "function print(string text)"},
                  {"Print", "class Print"},
                  {"printf", Array{"function printf(format[, args])", "macro printf"}},
                  {"$_GET", " $_GET"}}}};

std::string partialOf(HVCodeCompletion& completion, std::u16string_view text) {
    auto partial = completion.partialKeywordForString(text, text.size());
    return partial ? HVUnicode::utf8(*partial) : "(none)";
}

} // namespace

TEST(HVCodeCompletionEntry, StringRepresentationSplitsAtTheFirstSpace) {
    auto entry =
        HVCodeCompletionEntry::initWithStringRepresentation(u"f", u"function f(a b)", true);
    EXPECT_EQ(entry.type(), u"function");
    EXPECT_EQ(entry.prototype(), u"f(a b)");
    EXPECT_EQ(entry.stringRepresentation(), u"function f(a b)");
    auto bare = HVCodeCompletionEntry::initWithStringRepresentation(u"x", u"x()", true);
    EXPECT_EQ(bare.type(), std::nullopt);
    EXPECT_EQ(bare.stringRepresentation(), u" x()");
    // What an entry without a type writes reads back the same.
    EXPECT_EQ(HVCodeCompletionEntry::initWithStringRepresentation(u"x", u" x()", true), bare);

    HVCodeCompletionEntry fresh;
    fresh.setKey(u"key");
    EXPECT_EQ(fresh.prototype(), u"key");
    fresh.setKey(u"other");
    EXPECT_EQ(fresh.prototype(), u"key");

    HVError error;
    EXPECT_TRUE(HVCodeCompletionEntry::validateKey(u"k", &error));
    EXPECT_FALSE(HVCodeCompletionEntry::validateKey(u"", &error));
    EXPECT_EQ(error.description(), "Key cannot be blank");
    EXPECT_EQ(error.domain(), "com.ternwick.halvet");
}

TEST(HVCodeCompletionEntry, ParametersBecomePlaceholdersAndOptionalPartsDisappear) {
    auto completion = [](std::u16string prototype) {
        return HVUnicode::utf8(
            HVCodeCompletionEntry(u"k", std::nullopt, prototype, true).completion());
    };
    EXPECT_EQ(completion(u"foo(int a, b = 1[, c])"), "foo([*a*], [*b = 1*])");
    EXPECT_EQ(completion(u"substr(string s, int start[, int length[, x]])"),
              "substr([*s*], [*start*])");
    EXPECT_EQ(completion(u"mysql_query($query, &$link)"), "mysql_query([*$query*], [*&$link*])");
    EXPECT_EQ(completion(u"time()"), "time()");
    EXPECT_EQ(completion(u"keyword"), "keyword");
}

TEST(HVCodeCompletion, TheDefinitionChoosesTheKindAndEachBundleKeepsOne) {
    HVTemporaryDirectory folder;
    auto tag =
        HVMakeCompletionBundle(folder, "tag.test", kScriptSyntax, Dict{{"format-type", "tag"}});
    auto sheet =
        HVMakeCompletionBundle(folder, "sheet.test", kScriptSyntax,
                               Dict{{"class", "HVCSSCodeCompletion"}, {"format-type", "tag"}});
    auto unknownClass = HVMakeCompletionBundle(folder, "unknown.test", kScriptSyntax,
                                               Dict{{"class", "NoSuchCompletion"},
                                                    {"format-type", "keyword"},
                                                    {"hide-type-column", true},
                                                    {"edit-class", "KeywordPane"}});
    auto other =
        HVMakeCompletionBundle(folder, "other.test", kScriptSyntax, Dict{{"format-type", "other"}});
    auto none = HVMakeCompletionBundle(folder, "none.test", kScriptSyntax, HVPlistValue());

    auto tagCompletion = HVCodeCompletion::completionForBundle(tag);
    EXPECT_TRUE(std::dynamic_pointer_cast<HVTagCodeCompletion>(tagCompletion));
    EXPECT_EQ(HVCodeCompletion::completionForBundle(tag), tagCompletion);
    EXPECT_TRUE(std::dynamic_pointer_cast<HVCSSCodeCompletion>(
        HVCodeCompletion::completionForBundle(sheet)));
    EXPECT_TRUE(std::dynamic_pointer_cast<HVKeywordCodeCompletion>(
        HVCodeCompletion::completionForBundle(unknownClass)));
    auto keyword = HVCodeCompletion::completionForBundle(unknownClass);
    EXPECT_FALSE(keyword->showTypeColumn());
    EXPECT_EQ(keyword->editClass(), "KeywordPane");
    EXPECT_EQ(*keyword->plistRepresentation().stringForKey("edit-class"), "KeywordPane");
    EXPECT_EQ(keyword->plistRepresentation().boolForKey("hide-type-column"), true);
    EXPECT_TRUE(tagCompletion->showTypeColumn());
    EXPECT_EQ(HVCodeCompletion::completionForBundle(other), nullptr);
    EXPECT_EQ(HVCodeCompletion::completionForBundle(none), nullptr);

    // A completion does not keep its bundle alive.
    std::weak_ptr<HVBundle> gone = tag;
    tag.reset();
    EXPECT_TRUE(gone.expired());
    EXPECT_EQ(tagCompletion->bundle(), nullptr);
}

TEST(HVKeywordCodeCompletion, KeysAreFoundByTheirExactBeginning) {
    HVTemporaryDirectory folder;
    auto bundle = HVMakeCompletionBundle(folder, "script.test", kScriptSyntax, kScriptCompletion);
    auto completion = HVCodeCompletion::completionForBundle(bundle);
    ASSERT_TRUE(completion);

    // The word runs back to the first character that is not a keyword character.
    EXPECT_EQ(partialOf(*completion, u"x = 1;\n  a.$_G"), "$_G");
    EXPECT_EQ(partialOf(*completion, u"x\n"), "");
    EXPECT_EQ(completion->keywordRangeForString(u"a.pri(x)", 5), HVMakeRange(2, 3));

    EXPECT_EQ(HVDescribeEntries(completion->completionsForString(u"pri", "", 0)),
              "print|function|print(string text), printf|function|printf(format[, args]), "
              "printf|macro|printf");
    EXPECT_EQ(HVDescribeEntries(completion->completionsForString(u"Pri", "", 0)),
              "Print|class|Print");
    EXPECT_EQ(HVDescribeEntries(completion->completionsForString(u"$", "", 0)), "$_GET|-|$_GET");
    EXPECT_EQ(completion->completionsForString(u"", "", 0).size(), 0u);
    EXPECT_EQ(completion->completionsForString(u"PRI", "", 0).size(), 0u);
}

TEST(HVKeywordCodeCompletion, WithoutAKeywordParserEveryNonLetterEndsAWord) {
    HVTemporaryDirectory folder;
    auto bundle = HVMakeCompletionBundle(folder, "plain.test",
                                         Dict{{"format-id", "text.plain.test"}}, kScriptCompletion);
    auto completion = HVCodeCompletion::completionForBundle(bundle);
    ASSERT_TRUE(completion);
    EXPECT_EQ(partialOf(*completion, u"a.$_G"), "G");
    EXPECT_EQ(partialOf(*completion, u"x_print"), "print");
}

TEST(HVKeywordCodeCompletion, AKeywordOfTwoKindsIsWrittenBackAsAnArray) {
    HVTemporaryDirectory folder;
    auto bundle = HVMakeCompletionBundle(folder, "script.test", kScriptSyntax, kScriptCompletion);
    auto completion = HVCodeCompletion::completionForBundle(bundle);
    ASSERT_TRUE(completion->commitToPath(folder.path()));
    auto written = HVPropertyList::readFromFile(folder.pathFor("completion.plist"));
    ASSERT_TRUE(written);
    EXPECT_EQ(HVPlistText(*written), HVPlistText(HVPlistValue(kScriptCompletion)));
    auto entries = completion->entries();
    entries.erase(entries.begin());
    entries.emplace_back(u"echo", u"construct", u"echo", true);
    completion->setEntries(entries);
    HVPlistValue plist = completion->plistRepresentation();
    const Dict* keys = plist.dictionaryForKey("keys");
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->count("$_GET"), 0u);
    EXPECT_EQ(HVPlistText(keys->at("echo")), HVPlistText(HVPlistValue("construct echo")));
    EXPECT_EQ(HVPlistText(keys->at("printf")),
              HVPlistText(HVPlistValue(Array{"function printf(format[, args])", "macro printf"})));
    completion->setEntries({});
    EXPECT_EQ(HVPlistText(completion->plistRepresentation()),
              HVPlistText(HVPlistValue(Dict{{"format-type", "keyword"}})));
}

TEST(HVKeywordCodeCompletion, TheFilesSymbolsJoinTheKeysUntilTheIndexReadsAFileAgain) {
    HVTemporaryDirectory folder;
    auto bundle = HVMakeCompletionBundle(folder, "script.test", kScriptSyntax, kScriptCompletion);
    auto completion = std::dynamic_pointer_cast<HVKeywordCodeCompletion>(
        HVKeywordCodeCompletion::initWithPlist(kScriptCompletion, bundle));
    ASSERT_TRUE(completion);
    std::vector<std::string> asked;
    completion->setSymbolSource([&](const std::optional<std::u16string>& type,
                                    const std::optional<std::string>& classString,
                                    const std::optional<std::string>& file) {
        asked.push_back((type ? HVUnicode::utf8(*type) : "-") + " " + classString.value_or("-") +
                        " " + file.value_or("-"));
        return std::vector<HVCodeIndexKey>{
            {u"printLabel", u"printLabel([*label*])", u"function", "source.script.test"},
            {u"Printer", u"Printer", u"class", "source.script.test"}};
    });

    EXPECT_EQ(HVDescribeEntries(completion->completionsForString(u"printL", "/p/a.test", 0)),
              "printLabel|function|printLabel([*label*])+");
    EXPECT_EQ(HVDescribeEntries(completion->completionsForString(u"Print", "/p/a.test", 0)),
              "Print|class|Print, Printer|class|Printer+");
    EXPECT_EQ(asked, std::vector<std::string>{"- source.script.test /p/a.test"});
    EXPECT_EQ(completion->lastPath(), "/p/a.test");

    // The index announces from its own thread; the completion forgets on the main one.
    std::thread([] {
        HVNotificationCenter::defaultCenter().postNotificationName(
            std::string(HVFileIndexInvalidatedNotification), nullptr,
            Dict{{"path", "/p/other.test"}});
    }).join();
    EXPECT_EQ(completion->lastPath(), "/p/a.test");
    HVDispatcher::main().runPending();
    EXPECT_EQ(completion->lastPath(), "");
    completion->completionsForString(u"printL", "/p/a.test", 0);
    EXPECT_EQ(asked.size(), 2u);

    // A notice that arrives after the completion is gone is dropped.
    std::weak_ptr<HVKeywordCodeCompletion> weak = completion;
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVFileIndexInvalidatedNotification));
    completion.reset();
    EXPECT_TRUE(weak.expired()) << "the waiting notice holds no strong reference";
    HVDispatcher::main().runPending();
}

// Markup: elements, their attributes and values.
class HVTagCodeCompletionTest : public ::testing::Test {
protected:
    void SetUp() override {
        bundle = HVMakeCompletionBundle(
            folder, "markup.test", Dict{{"format-id", "text.markup.test"}, {"format-type", "tag"}},
            Dict{{"format-type", "tag"},
                 {"elements", Dict{{"a", Dict{{"href", Array{"path\u2026"}},
                                              {"target", Array{"_blank", "_self", "_top"}},
                                              {"class", "#source.sheet.test.class"},
                                              {"title", ""}}},
                                   {"body", Dict{{"onload", "init()"}}},
                                   {"b", Dict{}},
                                   {"*", Dict{{"dir", Array{"ltr", "rtl"}}}}}}});
        completion = std::dynamic_pointer_cast<HVTagCodeCompletion>(
            HVCodeCompletion::completionForBundle(bundle));
        ASSERT_TRUE(completion);
        completion->setSymbolSource([this](const std::optional<std::u16string>& type,
                                           const std::optional<std::string>& classString,
                                           const std::optional<std::string>& file) {
            asked.push_back(HVUnicode::utf8(type.value_or(u"-")) + " " + classString.value_or("-") +
                            " " + file.value_or("-"));
            return std::vector<HVCodeIndexKey>{
                {u"header", u"header", u"class", "source.sheet.test"},
                {u"Footer", u"Footer", u"class", "source.sheet.test"},
                {u"nav", u"nav", u"class", "source.sheet.test"}};
        });
    }

    // The partial word and the candidates for the text with the caret at its end.
    std::string offered(std::u16string_view text) {
        std::string partial = partialOf(*completion, text);
        auto entries =
            completion->completionsForString(HVUnicode::utf16(partial == "(none)" ? "" : partial),
                                             "/site/pages/index.test", text.size());
        return partial + ": " + HVDescribeEntries(entries);
    }

    HVTemporaryDirectory folder;
    std::shared_ptr<HVBundle> bundle;
    std::shared_ptr<HVTagCodeCompletion> completion;
    std::vector<std::string> asked;
};

TEST_F(HVTagCodeCompletionTest, TheCaretsPlaceInTheTagChoosesWhatIsOffered) {
    EXPECT_EQ(offered(u"<p>\n<"), ": a|element|a , b|element|b , body|element|body ");
    EXPECT_EQ(offered(u"<B"), "b: b|element|b , body|element|body ");
    EXPECT_EQ(offered(u"<b "), ": dir|attribute|dir=\"\"");
    EXPECT_EQ(offered(u"<b dir=\"r"), "r: rtl|value|\"rtl\"");
    EXPECT_EQ(offered(u"<a "), ": class|attribute|class=\"\", dir|attribute|dir=\"\", "
                               "href|attribute|href=\"\", "
                               "target|attribute|target=\"\", title|attribute|title=\"\"");
    EXPECT_EQ(offered(u"<a href=\"x\" T"),
              "t: target|attribute|target=\"\", title|attribute|title=\"\"");
    EXPECT_EQ(offered(u"<A TARGET=\"_"),
              "_: _blank|value|\"_blank\", _self|value|\"_self\", _top|value|\"_top\"");
    EXPECT_EQ(completion->currentElement(), u"a");
    EXPECT_EQ(completion->currentAttribute(), u"target");
    EXPECT_EQ(offered(u"<a target=\"_s"), "_s: _self|value|\"_self\"");
    EXPECT_EQ(offered(u"<body onload=\""), ": init()|value|\"init()\"");
    EXPECT_EQ(offered(u"<a title=\""), ": ");
    EXPECT_EQ(offered(u"<a href=\"x\">text"), "(none): ");
    EXPECT_EQ(offered(u"<a href=\"x\">\nte"), "(none): ");
    EXPECT_EQ(offered(u"plain"), "(none): ");
}

TEST_F(HVTagCodeCompletionTest, AHashValueListsTheIndexsSymbolsOfThatLanguageAndKind) {
    EXPECT_EQ(offered(u"<a class=\""),
              ": Footer|class|\"Footer\", header|class|\"header\", nav|class|\"nav\"");
    EXPECT_EQ(offered(u"<a class=\"f"), "f: Footer|class|\"Footer\"");
    EXPECT_EQ(asked, std::vector<std::string>{"class source.sheet.test /site/pages/index.test"});
    EXPECT_EQ(completion->lastPath(), "/site/pages/index.test");
}

TEST_F(HVTagCodeCompletionTest, TheReplacedRangeIsTheNameOrTheWholeQuotedValue) {
    auto rangeAt = [this](std::u16string_view text, std::size_t cursor) {
        completion->partialKeywordForString(text, cursor);
        return completion->keywordRangeForString(text, cursor);
    };
    //                     0123456789012345678901
    std::u16string_view text = u"x\n<a target=\"_b\" hr";
    EXPECT_EQ(rangeAt(text, 15), HVMakeRange(12, 4));
    EXPECT_EQ(rangeAt(text, text.size()), HVMakeRange(17, 2));
    EXPECT_EQ(rangeAt(text, 4), HVMakeRange(3, 1));
    EXPECT_EQ(rangeAt(u"<a target=\"_b\nnext", 13), HVMakeRange(10, 3));
    EXPECT_EQ(rangeAt(u"<a>x", 4), HVMakeRange(HVNotFound, 0));
}

TEST_F(HVTagCodeCompletionTest, APathValueAsksForAFileAndInsertsItRelativeAndQuoted) {
    offered(u"<a href=\"");
    EXPECT_EQ(HVPostprocess(*completion, u"\"_blank\""), "\"_blank\"");
    EXPECT_EQ(HVPostprocess(*completion, u"target=\"\""), "target=\"\"");
    // Without a window to show it, the dialog inserts nothing.
    EXPECT_EQ(HVPostprocess(*completion, u"\"path\u2026\""), "(nothing)");
    {
        HVTestCompletionPresenter chooser(1, [](HVCodeCompletionUI& ui) {
            EXPECT_EQ(ui.pathForUI(), "/site/pages/index.test");
            (*ui.values().dictionary())["path"] = "/site/img/logo.png";
        });
        EXPECT_EQ(HVPostprocess(*completion, u"\"path\u2026\""), "\"../img/logo.png\"");
        EXPECT_EQ(chooser.shown(), std::vector<std::string>{""});
        // Only paths have a dialog in markup.
        EXPECT_EQ(HVPostprocess(*completion, u"\"color\u2026\""), "(nothing)");
        EXPECT_EQ(chooser.shown().size(), 1u);
    }
    HVTestCompletionPresenter cancel(0, nullptr);
    EXPECT_EQ(HVPostprocess(*completion, u"\"path\u2026\""), "(nothing)");
}

TEST_F(HVTagCodeCompletionTest, TheEditingPaneListsElementsAndWritesValuesBackByCount) {
    Array elements = completion->elementsForEditing();
    ASSERT_EQ(elements.size(), 4u);
    EXPECT_EQ(*elements[0].stringForKey("title"), "*") << "every element's attributes come first";
    EXPECT_EQ(*elements[1].stringForKey("title"), "a");
    const Array* attributes = elements[1].arrayForKey("attributes");
    ASSERT_TRUE(attributes);
    EXPECT_EQ(HVPlistText(HVPlistValue((*attributes)[2])),
              HVPlistText(HVPlistValue(
                  Dict{{"title", "target"},
                       {"values", Array{Dict{{"title", "_blank"}}, Dict{{"title", "_self"}},
                                        Dict{{"title", "_top"}}}}})));
    EXPECT_EQ(HVPlistText(HVPlistValue((*attributes)[3])),
              HVPlistText(HVPlistValue(Dict{{"title", "title"}, {"values", Array{}}})));
    completion->setElementsFromEditing(Array{
        Dict{{"title", "img"},
             {"attributes",
              Array{Dict{{"title", "alt"}, {"values", Array{}}},
                    Dict{{"title", "src"}, {"values", Array{Dict{{"title", "uri\u2026"}}}}},
                    Dict{{"title", "align"},
                         {"values", Array{Dict{{"title", "left"}}, Dict{{"title", "right"}}}}}}}}});
    EXPECT_EQ(HVPlistText(completion->plistRepresentation()),
              HVPlistText(HVPlistValue(
                  Dict{{"format-type", "tag"},
                       {"elements", Dict{{"img", Dict{{"alt", ""},
                                                      {"src", "uri\u2026"},
                                                      {"align", Array{"left", "right"}}}}}}})));
    EXPECT_EQ(offered(u"<i"), "i: img|element|img ");
}

TEST(HVTagCodeCompletion, ADialectsElementsJoinWhenItsTagPrefixIsTyped) {
    HVBundleTestEnvironment environment;
    auto ship = [&](const std::string& identifier, Dict syntax, Dict elements) {
        HVBundleTestEnvironment::writeBundle(
            environment.shippedBundles(), identifier + ".hvbundle",
            Dict{{"CFBundleIdentifier", identifier}, {"CFBundleName", identifier}},
            {{"syntax.plist", syntax},
             {"completion.plist", Dict{{"format-type", "tag"}, {"elements", elements}}}});
    };
    ship("markup.test",
         Dict{{"format-id", "text.markup.test"},
              {"format-type", "tag"},
              {"embedded-elements", Array{"text.dialect.test"}}},
         Dict{{"a", Dict{{"href", ""}}}, {"cite", Dict{}}});
    ship("dialect.test",
         Dict{{"format-id", "text.dialect.test"}, {"format-type", "tag"}, {"tag-prefix", "cf"}},
         Dict{{"cfoutput", Dict{{"query", ""}}}, {"cfif", Dict{}}});
    auto& repository = HVBundleRepository::sharedRepository();
    repository.reset();
    auto completion =
        HVCodeCompletion::completionForBundle(repository.bundleForIdentifier("text.markup.test"));
    ASSERT_TRUE(completion);

    auto offered = [&](std::u16string_view text) {
        auto partial = completion->partialKeywordForString(text, text.size());
        return HVDescribeEntries(completion->completionsForString(partial.value_or(u""), "", 0));
    };
    EXPECT_EQ(offered(u"<c"), "cite|element|cite ");
    EXPECT_EQ(offered(u"<CF"), "cfif|element|cfif , cfoutput|element|cfoutput ");
    EXPECT_EQ(offered(u"<cfoutput q"), "query|attribute|query=\"\"");
    repository.reset();
}

// The shipped PHP definitions, a real index and the shipped keyword completion together: a
// page offers the functions of what it includes, of what that includes in turn, and of PHP
// written inside a markup page.
TEST(HVKeywordCodeCompletion, APageOffersTheFunctionsOfEveryFileItReachesThroughTheIndex) {
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory folder;
    HVBundleRepository::sharedRepository().reset();
    std::string page = folder.write("site/page.php", "<?php\ninclude 'lib/cart.php';\n"
                                                     "function page_title() {}\n");
    std::string cart =
        folder.write("site/lib/cart.php", "<?php\nrequire_once 'tax.php';\n"
                                          "function cart_total($cart, $tax = 0) {}\n");
    std::string tax = folder.write("site/lib/tax.php", "<?php function cart_tax($rate) {}\n");
    std::string markup = folder.write("site/about.html", "<p>About</p>\n<?php\n"
                                                         "function about_team($size) {}\n?>\n");
    HVCodeIndex index(folder.pathFor("index.db"));
    index.start();
    for (const std::string& path : {page, cart, tax, markup})
        index.indexFile(path);
    ASSERT_TRUE(index.waitUntilIdle(30));

    auto bundle = HVBundleRepository::sharedRepository().bundleForIdentifier("text.php");
    auto completion = std::dynamic_pointer_cast<HVKeywordCodeCompletion>(
        HVCodeCompletion::completionForBundle(bundle));
    ASSERT_TRUE(completion);
    completion->setSymbolSource([&index](const std::optional<std::u16string>& type,
                                         const std::optional<std::string>& classString,
                                         const std::optional<std::string>& file) {
        return index.keysForType(type, classString, file);
    });
    auto offered = completion->completionsForString(u"cart_", page, 0);
    EXPECT_EQ(HVDescribeEntries(offered), "cart_tax|function|cart_tax($rate)+, "
                                          "cart_total|function|cart_total($cart, $tax = 0)+");
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[1].completion(), u"cart_total([*$cart*], [*$tax = 0*])");
    EXPECT_EQ(HVDescribeEntries(completion->completionsForString(u"page_", page, 0)),
              "page_title|function|page_title()+");
    EXPECT_EQ(HVDescribeEntries(completion->completionsForString(u"cart_", tax, 0)),
              "cart_tax|function|cart_tax($rate)+")
        << "what a file includes reaches it, not what includes it";
    EXPECT_EQ(HVDescribeEntries(completion->completionsForString(u"about", markup, 0)),
              "about_team|function|about_team($size)+");
    index.stop();
    HVBundleRepository::sharedRepository().reset();
}
