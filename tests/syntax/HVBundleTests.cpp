#include "Defaults.h"
#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVFileCategories.h"
#include "HVFileSystem.h"
#include "HVKeywordBasedParser.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVPropertyList.h"
#include "HVSyntaxTestSupport.h"
#include "HVTagBasedParser.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

Dict info(const std::string& identifier, const std::string& title, Array types = {}) {
    Dict info{{"CFBundleIdentifier", identifier}, {"CFBundleName", title}};
    if (!types.empty())
        info["file-types"] = std::move(types);
    return info;
}

std::map<std::string, HVPlistValue> keywordSyntax(const std::string& formatId) {
    return {{"syntax.plist", Dict{{"format-id", formatId},
                                  {"format-type", "keyword"},
                                  {"keyword-characters", "abc"},
                                  {"keywords", Dict{{"keyword", Array{"abc"}}}}}}};
}

// The repository's tables as one line per bundle, in title order: title, bundle identifier,
// parser identifier, and the extensions that lead to it.
std::string describe(HVBundleRepository& repository, const std::vector<std::string>& extensions) {
    std::string out;
    for (const auto& bundle : repository.bundlesSortedByTitle()) {
        out += bundle->title() + " [" + bundle->bundleIdentifier() + "] " + bundle->identifier();
        for (const std::string& extension : extensions) {
            if (repository.bundleForFileCategory(nullptr, extension) == bundle)
                out += " ." + extension;
        }
        if (repository.bundleForBundleIdentifier(bundle->bundleIdentifier()) != bundle)
            out += " (not by bundle identifier)";
        if (!bundle->identifier().empty() &&
            repository.bundleForIdentifier(bundle->identifier()) != bundle)
            out += " (not by parser identifier)";
        out += "\n";
    }
    return out;
}

std::vector<std::string> listing(const std::string& directory) {
    std::vector<std::string> names;
    for (const std::string& path : HVFileSystem::listRecursively(directory))
        names.push_back(path.substr(directory.size() + 1));
    std::sort(names.begin(), names.end());
    return names;
}

// Every test has a world of bundles of its own.
class BundleWorld : public ::testing::Test {
protected:
    // Writes a bundle into the shipped "Bundles" folder.
    std::string ship(const std::string& name, const HVPlistValue& info,
                     const std::map<std::string, HVPlistValue>& files = {}) {
        return HVBundleTestEnvironment::writeBundle(environment.shippedBundles(), name, info,
                                                    files);
    }

    HVBundleTestEnvironment environment;
};
using HVBundleRepositoryTest = BundleWorld;
using HVBundleTest = BundleWorld;

} // namespace

TEST_F(HVBundleRepositoryTest, UsersBundlesShadowShippedOnesOfTheSameIdentifier) {
    auto user = environment.userBundles();
    ship("Script.hvbundle", info("x.script", "Script", Array{"js", "mjs"}),
         keywordSyntax("text.js"));
    ship("Style.hvbundle", info("x.style", "Style", Array{"css"}), keywordSyntax("text.css"));
    // The user's copy of the script bundle, kept in a folder of its own, claims other types
    // and another parser identifier; a user's bundle of another identifier takes "css".
    HVBundleTestEnvironment::writeBundle(user + "/mine", "Script.hvbundle",
                                         info("x.script", "My Script", Array{"js", "es"}),
                                         keywordSyntax("text.es"));
    HVBundleTestEnvironment::writeBundle(user, "Sheets.hvbundle",
                                         info("x.sheets", "Sheets", Array{"css"}),
                                         keywordSyntax("text.sheets"));

    HVBundleRepository repository;
    std::vector<std::string> extensions{"js", "mjs", "es", "css", "JS"};
    EXPECT_EQ(describe(repository, extensions), "My Script [x.script] text.es .js .es\n"
                                                "Sheets [x.sheets] text.sheets .css\n"
                                                "Style [x.style] text.css\n");
    EXPECT_EQ(repository.bundleForIdentifier("text.js"), nullptr);
    EXPECT_TRUE(repository.loadErrors().empty());
    auto mine = repository.bundleForBundleIdentifier("x.script");
    EXPECT_EQ(mine->path(), user + "/mine/Script.hvbundle");
    EXPECT_NE(dynamic_cast<HVKeywordBasedParser*>(mine->parser().get()), nullptr);
}

TEST_F(HVBundleRepositoryTest, HiddenBundlesStayHiddenAndLeaveTheirExtensions) {
    ship("A.hvbundle", info("x.a", "A", Array{"a", "shared"}), keywordSyntax("text.a"));
    ship("B.hvbundle", info("x.b", "B", Array{"b", "shared"}), keywordSyntax("text.a"));
    std::vector<std::string> extensions{"a", "b", "shared"};
    {
        HVBundleRepository repository;
        // The bundle loaded first keeps a claim that two bundles make.
        EXPECT_EQ(describe(repository, extensions),
                  "A [x.a] text.a .a .shared\nB [x.b] text.a .b (not by parser identifier)\n");
        auto a = repository.bundleForBundleIdentifier("x.a");
        EXPECT_TRUE(repository.removeBundle(a));
        EXPECT_EQ(describe(repository, extensions), "B [x.b] text.a .b .shared\n");
        EXPECT_EQ(repository.bundleForFileCategory(nullptr, "a"), nullptr);
        EXPECT_EQ(repository.bundleForBundleIdentifier("x.a"), nullptr);
        // No file is deleted.
        EXPECT_TRUE(HVFileSystem::isDirectory(environment.shippedBundles() + "/A.hvbundle"));
    }
    EXPECT_EQ(HVPreferences::sharedInstance().arrayForKey("HVHiddenBundles"),
              (std::optional<Array>(Array{"x.a"})));
    HVBundleRepository later;
    EXPECT_EQ(describe(later, extensions), "B [x.b] text.a .b .shared\n");
}

TEST_F(HVBundleRepositoryTest, FileCategoriesGiveTheTypesAndTheInfoTypesAreTheFallback) {
    Dict markup = info("x.markup", "Markup", Array{"mk"});
    markup["file-categories"] = Array{"No Such Category", "HTML"};
    ship("Markup.hvbundle", markup, keywordSyntax("text.markup"));
    HVBundleRepository repository;
    auto bundle = repository.bundleForBundleIdentifier("x.markup");
    ASSERT_NE(bundle, nullptr);
    auto html = HVFileCategories::sharedCategories().categoryForTitle("HTML");
    ASSERT_NE(html, nullptr);
    EXPECT_EQ(bundle->fileTypes(), html->typeTitles());
    EXPECT_EQ(repository.bundleForFileCategory(nullptr, "html"), bundle);
    EXPECT_EQ(repository.bundleForFileCategory(nullptr, "HTML"), nullptr)
        << "extensions compare exactly";
    EXPECT_EQ(repository.bundleForFileCategory(html, "mk"), nullptr)
        << "the Info.plist types count only when the categories give none";

    bundle->setFileCategories({});
    EXPECT_EQ(bundle->fileTypes(), std::vector<std::string>{"mk"});
    EXPECT_EQ(repository.bundleForFileCategory(nullptr, "mk"), nullptr) << "not refreshed yet";
    repository.refreshBundleFileTypes();
    EXPECT_EQ(repository.bundleForFileCategory(nullptr, "mk"), bundle);
    EXPECT_EQ(repository.bundleForFileCategory(nullptr, "html"), nullptr);
}

TEST_F(HVBundleRepositoryTest, AddingABundleByTitle) {
    ship("Script.hvbundle", info("x.script", "Script"), keywordSyntax("text.js"));
    HVBundleRepository repository;
    auto existing = repository.bundleForBundleIdentifier("x.script");
    EXPECT_EQ(repository.addBundleWithTitle("SCRIPT", "text.other"), existing);
    EXPECT_EQ(repository.addBundleWithTitle("Other", "text.js"), nullptr);
    EXPECT_EQ(repository.bundles().size(), 1u);

    auto added = repository.addBundleWithTitle("Other", "text.other");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->bundleIdentifier().size(), 36u) << added->bundleIdentifier();
    EXPECT_EQ(repository.bundleForIdentifier("text.other"), added);
    EXPECT_EQ(repository.addBundleWithTitle("other", "text.third"), added);
}

TEST_F(HVBundleTest, SavingTwiceKeepsOneDirectoryAndNoBackup) {
    HVBundleRepository repository;
    auto bundle = repository.addBundleWithTitle("My/Language", "text.mine");
    ASSERT_NE(bundle, nullptr);
    bundle->setFileCategories({HVFileCategories::sharedCategories().categoryForTitle("PHP")});
    bundle->parser()->setFoldOpener(u"\\{");
    HVError error;
    ASSERT_TRUE(bundle->commit(&error)) << error.fullDescription();
    std::string target = environment.userBundles() + "/My-Language.hvbundle";
    EXPECT_EQ(bundle->path(), target);
    ASSERT_TRUE(bundle->commit(&error)) << error.fullDescription();
    EXPECT_EQ(listing(environment.userBundles()),
              (std::vector<std::string>{"My-Language.hvbundle", "My-Language.hvbundle/Contents",
                                        "My-Language.hvbundle/Contents/Info.plist",
                                        "My-Language.hvbundle/Contents/syntax.plist"}));

    // A later start finds it with its definition.
    HVBundleRepository later;
    auto loaded = later.bundleForIdentifier("text.mine");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->bundleIdentifier(), bundle->bundleIdentifier());
    EXPECT_EQ(loaded->title(), "My/Language");
    EXPECT_EQ(loaded->parser()->foldOpenerPattern(), u"\\{");
    EXPECT_EQ(later.bundleForFileCategory(nullptr, "php"), loaded);
}

TEST_F(HVBundleTest, SavingAShippedBundleCopiesItsResourcesAndKeepsItsData) {
    Dict shippedInfo = info("x.tpl", "Templates", Array{"tpl"});
    shippedInfo["hide-in-list"] = true;
    shippedInfo["tooltip"] = "Template files";
    std::map<std::string, HVPlistValue> files = keywordSyntax("text.tpl");
    files["codenav.plist"] = Array{Dict{{"pattern", "^x"}, {"display", "$0"}}};
    files["hinting.plist"] = Dict{{"f", "f(a)"}};
    files["completion.plist"] = Dict{{"format-type", "keyword"}, {"keys", Array{"a"}}};
    files["indexer.plist"] = Dict{{"symbols", Array{}}};
    std::string path = ship("Templates.hvbundle", shippedInfo, files);
    HVFileSystem::createDirectory(path + "/Contents/Resources");
    HVFileSystem::writeFileAtomically(path + "/Contents/Resources/icon.png", "png");

    HVBundleRepository repository;
    auto bundle = repository.bundleForBundleIdentifier("x.tpl");
    ASSERT_NE(bundle, nullptr);
    EXPECT_TRUE(bundle->hideInList());
    EXPECT_EQ(bundle->tooltip(), "Template files");
    EXPECT_EQ(bundle->imageNamed("icon.png"), path + "/Contents/Resources/icon.png");
    EXPECT_EQ(bundle->imageNamed("missing.png"), std::nullopt);
    HVError error;
    ASSERT_TRUE(bundle->commit(&error)) << error.fullDescription();
    EXPECT_EQ(bundle->path(), path) << "a bundle with a directory keeps it";
    std::string copy = environment.userBundles() + "/Templates.hvbundle";
    EXPECT_EQ(listing(copy),
              (std::vector<std::string>{"Contents", "Contents/Info.plist", "Contents/Resources",
                                        "Contents/Resources/icon.png", "Contents/codenav.plist",
                                        "Contents/completion.plist", "Contents/hinting.plist",
                                        "Contents/indexer.plist", "Contents/syntax.plist"}));
    // Without the code navigation layer the code navigation is written back as it was read.
    EXPECT_EQ(HVPropertyList::readFromFile(copy + "/Contents/codenav.plist"),
              files["codenav.plist"]);

    // The user's copy now takes the place of the shipped bundle; "hide-in-list" and
    // "tooltip" stay with the shipped one.
    HVBundleRepository later;
    auto again = later.bundleForBundleIdentifier("x.tpl");
    EXPECT_EQ(again->path(), copy);
    EXPECT_FALSE(again->hideInList());
    EXPECT_EQ(again->tooltip(), "");
    EXPECT_EQ(again->codeIndexer(), files["indexer.plist"]);
}

TEST_F(HVBundleTest, AFailedSaveRollsBack) {
    std::string path = HVBundleTestEnvironment::writeBundle(
        environment.userBundles(), "Broken.hvbundle", info("x.broken", "Broken", Array{"br"}),
        keywordSyntax("text.broken"));
    // A link to nothing in the resources cannot be copied, so writing the new copy fails
    // after the old one was moved aside.
    HVFileSystem::createDirectory(path + "/Contents/Resources");
    ASSERT_EQ(::symlink("/nonexistent/image.png", (path + "/Contents/Resources/image.png").c_str()),
              0);
    std::vector<std::string> before = listing(environment.userBundles());
    std::string infoBefore = HVReadFile(path + "/Contents/Info.plist");

    HVBundleRepository repository;
    auto bundle = repository.bundleForBundleIdentifier("x.broken");
    ASSERT_NE(bundle, nullptr);
    bundle->setFileCategories({HVFileCategories::sharedCategories().categoryForTitle("PHP")});
    HVError error;
    EXPECT_FALSE(bundle->commit(&error));
    EXPECT_TRUE(error.is(HVBundleErrorDomain, HVBundleCommitError)) << error.fullDescription();
    EXPECT_EQ(listing(environment.userBundles()), before);
    EXPECT_EQ(HVReadFile(path + "/Contents/Info.plist"), infoBefore);

    // An old backup in the way is replaced.
    HVFileSystem::removeRecursively(path + "/Contents/Resources");
    HVFileSystem::createDirectory(path + ".backup/Contents");
    ASSERT_TRUE(bundle->commit(&error)) << error.fullDescription();
    EXPECT_EQ(listing(environment.userBundles()),
              (std::vector<std::string>{"Broken.hvbundle", "Broken.hvbundle/Contents",
                                        "Broken.hvbundle/Contents/Info.plist",
                                        "Broken.hvbundle/Contents/syntax.plist"}));
}

TEST_F(HVBundleRepositoryTest, BadBundlesAreSkippedOrLoseOnlyTheDefinitionThatIsBad) {
    std::string shipped = environment.shippedBundles();
    HVFileSystem::createDirectory(shipped + "/Empty.hvbundle");
    ship("NoIdentifier.hvbundle", Dict{{"CFBundleName", "Nameless"}});
    std::string garbled = ship("Garbled.hvbundle", Dict{});
    HVFileSystem::writeFileAtomically(garbled + "/Contents/Info.plist", "<plist><dict><key>");
    std::string badSyntax =
        ship("BadSyntax.hvbundle", info("x.badsyntax", "Bad Syntax", Array{"bs"}),
             {{"hinting.plist", Array{"not", "a", "dictionary"}},
              {"completion.plist", Dict{{"format-type", "mystery"}}},
              {"codenav.plist", Dict{{"not", "an array"}}}});
    HVFileSystem::writeFileAtomically(badSyntax + "/Contents/syntax.plist", "\x01\x02garbage");
    ship("Unknown.hvbundle", info("x.unknown", "Unknown Kind", Array{"uk"}),
         {{"syntax.plist", Dict{{"format-id", "text.unknown"},
                                {"format-type", "regions"},
                                {"folding", Dict{{"open", "\\{"}, {"close", "("}}}}}});

    HVBundleRepository repository;
    EXPECT_EQ(describe(repository, {"bs", "uk"}),
              "Bad Syntax [x.badsyntax]  .bs\nUnknown Kind [x.unknown] text.unknown .uk\n");
    auto bad = repository.bundleForBundleIdentifier("x.badsyntax");
    EXPECT_EQ(bad->parser(), nullptr);
    EXPECT_EQ(bad->codeNavParser(), nullptr);
    EXPECT_EQ(bad->codeHinting(), std::nullopt);
    EXPECT_EQ(bad->codeCompletion(), std::nullopt);
    // A definition of an unknown kind folds but paints nothing.
    auto unknown = repository.bundleForBundleIdentifier("x.unknown");
    EXPECT_EQ(typeid(*unknown->parser()), typeid(HVParser));
    EXPECT_NE(unknown->parser()->foldOpener(), nullptr);
    EXPECT_EQ(unknown->parser()->foldCloser(), nullptr);

    std::vector<std::string> problems;
    for (const HVError& error : repository.loadErrors()) {
        std::string description = error.description();
        std::string name = description.substr(description.find(shipped) + shipped.size() + 1);
        problems.push_back(name.substr(0, name.find(".hvbundle")) + ": " +
                           std::to_string(error.code()));
    }
    std::sort(problems.begin(), problems.end());
    EXPECT_EQ(problems,
              (std::vector<std::string>{"BadSyntax: 2", "BadSyntax: 2", "BadSyntax: 2", "Empty: 1",
                                        "Garbled: 1", "NoIdentifier: 1", "Unknown: 2"}))
        << "an unknown kind of definition is no error, only its bad pattern is";
}

// That the markup finds its languages and its dialect when every bundle is loaded shows in the
// reference output of tests/data/highlight/test-markup.
TEST_F(HVBundleRepositoryTest, HidingALanguageLeavesTheMarkupWithWhatItFoundAtLoad) {
    environment.installTestBundles();
    HVBundleRepository repository;
    auto markup = repository.bundleForFileCategory(nullptr, "tmarkup");
    ASSERT_NE(markup, nullptr);
    auto* parser = dynamic_cast<HVTagBasedParser*>(markup->parser().get());
    ASSERT_NE(parser, nullptr);
    repository.removeBundle(repository.bundleForIdentifier("text.test-script"));
    EXPECT_EQ(parser->subparsers().size(), 2u);
}

TEST_F(HVBundleRepositoryTest, TheIndexerIsReadAgainWhenThePreferencesClose) {
    std::string path = ship("Indexed.hvbundle", info("x.indexed", "Indexed"),
                            {{"indexer.plist", Dict{{"version", 1}}}});
    HVBundleRepository repository;
    auto bundle = repository.bundleForBundleIdentifier("x.indexed");
    EXPECT_EQ(bundle->codeIndexer(), HVPlistValue(Dict{{"version", 1}}));
    HVPropertyList::writeToFile(Dict{{"version", 2}}, path + "/Contents/indexer.plist",
                                HVPlistFormat::XML);
    EXPECT_EQ(bundle->codeIndexer(), HVPlistValue(Dict{{"version", 1}}));
    HVNotificationCenter::defaultCenter().postNotificationName("HalvetPrefsClosed");
    EXPECT_EQ(bundle->codeIndexer(), HVPlistValue(Dict{{"version", 2}}));
}

TEST_F(HVBundleRepositoryTest, LookupsFromAnotherThreadWhileLoading) {
    environment.installTestBundles();
    HVBundleRepository repository;
    std::atomic<bool> stop{false};
    std::atomic<int> found{0};
    // The code index reads the tables from its own thread while the main thread reloads them;
    // every answer must be a whole bundle, never a table half rebuilt.
    std::thread reader([&] {
        while (!stop) {
            if (auto bundle = repository.bundleForIdentifier("text.test-markup")) {
                if (bundle->parser() && bundle->fileTypes() == std::vector<std::string>{"tmarkup"})
                    ++found;
            }
            repository.bundleForFileCategory(nullptr, "tscript");
        }
    });
    for (int i = 0; i < 20; ++i) {
        repository.loadBundles();
        repository.refreshBundleFileTypes();
    }
    stop = true;
    reader.join();
    EXPECT_GT(found.load(), 0);
    EXPECT_EQ(repository.bundles().size(), 4u);
}
