#include "HVFileFilters.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVPropertyList.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A support directory and a resources folder of the test's own.
struct FilterEnvironment {
    HVTemporaryDirectory data;
    HVTemporaryDirectory resources;
    HVScopedEnvironment dataHome{"XDG_DATA_HOME", data.path()};
    HVScopedEnvironment resourceDir{"HALVET_RESOURCES_DIR", resources.path()};

    std::string userPath() const { return data.pathFor("Halvet/data/siteViewFiles.plist"); }
    std::string writeUser(std::string_view bytes) const {
        return data.write("Halvet/data/siteViewFiles.plist", bytes);
    }
    std::string writeShipped(std::string_view bytes) const {
        return resources.write("data/siteViewFiles.plist", bytes);
    }
};

class HVFileFiltersTest : public ::testing::Test {
protected:
    FilterEnvironment environment;
};

std::string xmlOf(const HVPlistValue& value) {
    return *HVPropertyList::serialize(value, HVPlistFormat::XML);
}

HVPlistValue::Dictionary element(std::string title, std::string regex, bool enabled) {
    HVPlistValue::Dictionary dictionary;
    dictionary["Title"] = std::move(title);
    dictionary["Regex"] = std::move(regex);
    dictionary["Enabled"] = enabled;
    return dictionary;
}

// One line per filter: title, pattern (or "-"), enabled and valid flags.
std::string describe(const std::vector<std::shared_ptr<HVFileFilter>>& filters) {
    std::string text;
    for (const auto& filter : filters) {
        text += filter->title() + " | " + filter->pattern().value_or("-") + " | " +
                (filter->enabled() ? "on" : "off") + (filter->valid() ? " valid" : " invalid") +
                "\n";
    }
    return text;
}

std::vector<std::string> hidden(HVFileFilters& filters, const std::vector<std::string>& names) {
    std::vector<std::string> result;
    for (const auto& name : names) {
        if (filters.stringMatchesFilters(name))
            result.push_back(name);
    }
    return result;
}

} // namespace

TEST_F(HVFileFiltersTest, BuiltInFiltersHideMetadataProjectAndTemporaryNames) {
    // No filter file anywhere: no user filters.
    HVFileFilters filters;
    EXPECT_EQ(filters.countOfFilters(), 0u);
    EXPECT_EQ(filters.loadError(), std::nullopt);
    EXPECT_EQ(hidden(filters, {".DS_Store", ".svn", ".git", "CVS", ".gitignore", ".cvsignore",
                               "site.hvproj", "index.html.tmp_Halvet", "a.tmp_Halvet.b",
                               "folder.Halvet", "CVS1", "index.html", "svn.txt", ".gitkeep",
                               "hvproj.html", "git", "Halvet", ".DS_Store.txt"}),
              (std::vector<std::string>{".DS_Store", ".svn", ".git", "CVS", ".gitignore",
                                        ".cvsignore", "site.hvproj", "index.html.tmp_Halvet",
                                        "a.tmp_Halvet.b", "folder.Halvet"}));
}

TEST(HVFileFilters, MatchingIgnoresCaseAnywhereValidityRulesAndInvalidPatternsAcceptNothing) {
    HVFileFilter psd("\\.psd$");
    EXPECT_TRUE(psd.matchesString("logo.psd"));
    EXPECT_TRUE(psd.matchesString("LOGO.PSD"));
    EXPECT_FALSE(psd.matchesString("logo.psd.html"));
    // Anywhere in the name, not only at its start; names are UTF-8 and case folds beyond ASCII.
    HVFileFilter word("entwurf|ÜBERSICHT");
    EXPECT_TRUE(word.matchesString("alter-ENTWURF.html"));
    EXPECT_TRUE(word.matchesString("übersicht.txt"));

    // A new pattern replaces the compiled expression of the old one.
    psd.setPattern("\\.ai$");
    EXPECT_FALSE(psd.matchesString("logo.psd"));
    EXPECT_TRUE(psd.matchesString("logo.AI"));

    HVFileFilter filter;
    EXPECT_FALSE(filter.matchesString("anything"));
    // Plain setters change without revalidating or marking; the editing path does both.
    filter.setPattern("(unclosed");
    EXPECT_TRUE(filter.valid());
    EXPECT_FALSE(filter.modified());
    EXPECT_FALSE(filter.validate());
    EXPECT_FALSE(filter.matchesString("(unclosed"));
    EXPECT_FALSE(filter.matchesString("unclosed"));

    EXPECT_TRUE(filter.setValue("pattern", "\\.bak$"));
    EXPECT_TRUE(filter.valid());
    EXPECT_TRUE(filter.modified());
    EXPECT_TRUE(filter.matchesString("x.bak"));
    EXPECT_TRUE(filter.setValue("title", ""));
    EXPECT_FALSE(filter.valid()) << "an empty title is not valid";
    EXPECT_TRUE(filter.setValue("title", "Backups"));
    EXPECT_TRUE(filter.valid());
    EXPECT_TRUE(filter.setValue("pattern", ""));
    EXPECT_TRUE(filter.valid()) << "an empty pattern is valid";
    EXPECT_FALSE(filter.matchesString("x.bak")) << "and hides nothing";

    EXPECT_TRUE(filter.setValue("enabled", false));
    EXPECT_FALSE(filter.setValue("enabled", "yes")) << "wrong type";
    EXPECT_FALSE(filter.setValue("colour", "red")) << "unknown key";
    EXPECT_FALSE(filter.enabled());
}

TEST(HVFileFilters, PlistElementsReadAndWriteBack) {
    // No title and no pattern: the keys are left out; "Enabled" is always written.
    HVPlistValue::Dictionary bare;
    bare["Enabled"] = true;
    auto untitled = HVFileFilter::initWithPlist(bare);
    EXPECT_EQ(describe({untitled}), " | - | on invalid\n");
    EXPECT_EQ(untitled->plistRepresentation(), HVPlistValue(bare));

    HVError error;
    EXPECT_EQ(HVFileFilter::initWithPlist(HVPlistValue("not a filter"), &error), nullptr);
    EXPECT_TRUE(error.is(HVPlatformErrorDomain, HVFileReadCorruptFileError));

    HVPlistValue::Dictionary wrong;
    wrong["Title"] = "Odd";
    wrong["Regex"] = 42;
    wrong["Enabled"] = "yes";
    HVError partial;
    auto odd = HVFileFilter::initWithPlist(wrong, &partial);
    ASSERT_TRUE(odd);
    EXPECT_EQ(describe({odd}), "Odd | - | on valid\n");
    EXPECT_EQ(partial.description(), "The filter \"Odd\" is not entirely readable.");
    EXPECT_EQ(partial.recoverySuggestion(),
              "Its \"Regex\" has the wrong type. Its \"Enabled\" has the wrong type.");
}

TEST_F(HVFileFiltersTest, UserFiltersComeBeforeBuiltInsAndInvalidOnesAreKeptButHideNothing) {
    environment.writeShipped(xmlOf(HVPlistValue::Array{element("Shipped", "shipped", true)}));
    environment.writeUser(xmlOf(HVPlistValue::Array{element("Drafts", "^draft-", true),
                                                    element("Broken", "(unclosed", true),
                                                    element("Off", "\\.html$", false)}));
    HVFileFilters filters;
    EXPECT_EQ(describe(filters.filters()), "Drafts | ^draft- | on valid\n"
                                           "Broken | (unclosed | on invalid\n"
                                           "Off | \\.html$ | off valid\n")
        << "the user's copy shadows the shipped one";
    EXPECT_EQ(filters.loadError(), std::nullopt);
    EXPECT_EQ(hidden(filters, {"draft-index.html", "DRAFT-a", "index.html", "(unclosed", "unclosed",
                               "shipped", ".git"}),
              (std::vector<std::string>{"draft-index.html", "DRAFT-a", ".git"}));
}

TEST_F(HVFileFiltersTest, ListEditsMarkTheListModified) {
    environment.writeUser(xmlOf(HVPlistValue::Array{element("A", "a", true)}));
    HVFileFilters filters;
    EXPECT_FALSE(filters.modified());
    EXPECT_EQ(filters.objectInFiltersAtIndex(1), nullptr);
    EXPECT_FALSE(filters.insertObject(std::make_shared<HVFileFilter>(), 2));
    EXPECT_FALSE(filters.insertObject(nullptr, 0));
    EXPECT_FALSE(filters.removeObjectFromFiltersAtIndex(1));
    EXPECT_FALSE(filters.modified()) << "refused edits change nothing";

    EXPECT_TRUE(filters.insertObject(HVFileFilter::filterWithPattern("b"), 0));
    EXPECT_TRUE(filters.modified());
    EXPECT_EQ(describe(filters.filters()), "b | b | on valid\nA | a | on valid\n");
    filters.setModified(false);

    // The preferences edit a copy and put it back in place.
    auto copy = std::make_shared<HVFileFilter>(*filters.objectInFiltersAtIndex(1));
    copy->setValue("title", "Aa");
    EXPECT_FALSE(filters.modified()) << "the copy is not in the list yet";
    EXPECT_TRUE(filters.replaceObjectInFiltersAtIndex(1, copy));
    EXPECT_TRUE(filters.modified());
    filters.setModified(false);
    EXPECT_FALSE(copy->modified()) << "clearing the list clears its filters' flags";

    filters.objectInFiltersAtIndex(0)->setValue("enabled", false);
    EXPECT_TRUE(filters.modified()) << "a filter's own flag counts";
    filters.setModified(false);
    EXPECT_TRUE(filters.removeObjectFromFiltersAtIndex(0));
    EXPECT_TRUE(filters.modified());
}

TEST_F(HVFileFiltersTest, FilterArrayKeepsTheElementsThatDoNotMatch) {
    HVFileFilters filters;
    HVPlistValue::Array listing;
    for (const char* name : {"index.html", ".svn", "CVS", "css"}) {
        HVPlistValue::Dictionary entry;
        entry["name"] = name;
        listing.push_back(entry);
    }
    HVPlistValue::Dictionary nameless;
    nameless["size"] = 3;
    listing.push_back(nameless);
    listing.push_back(HVPlistValue(".git"));

    HVPlistValue::Array kept = filters.filterArray(listing, "name");
    std::vector<std::string> names;
    for (const auto& entry : kept)
        names.push_back(entry.stringForKey("name") ? *entry.stringForKey("name") : "?");
    EXPECT_EQ(names, (std::vector<std::string>{"index.html", "css", "?", "?"}));

    std::vector<std::string> paths = {"a/.DS_Store", "a/b.html", "a/.git"};
    EXPECT_EQ(
        filters.filterArray(
            paths, [](const std::string& path) { return HVFileSystem::lastPathComponent(path); }),
        (std::vector<std::string>{"a/b.html"}));
}

TEST_F(HVFileFiltersTest, CommitWritesTheSupportCopyAndReadsBackTheSame) {
    environment.writeShipped(xmlOf(HVPlistValue::Array{element("Shipped", "x", true)}));
    HVFileFilters filters;
    ASSERT_EQ(filters.countOfFilters(), 1u);
    auto added = std::make_shared<HVFileFilter>();
    added->setValue("pattern", "\\.map$");
    filters.insertObject(added, 1);
    filters.insertObject(HVFileFilter::initWithPlist(element("Off", "off", false)), 0);
    HVError error;
    ASSERT_TRUE(filters.commit(&error)) << error.fullDescription();

    HVPlistValue expected(HVPlistValue::Array{element("Off", "off", false),
                                              element("Shipped", "x", true),
                                              element("New Filter", "\\.map$", true)});
    EXPECT_EQ(HVPropertyList::readFromFile(environment.userPath()), expected);
    EXPECT_EQ(HVReadFile(environment.userPath()).rfind("<?xml", 0), 0u) << "written as XML";

    HVFileFilters reread;
    EXPECT_EQ(reread.plistRepresentation(), expected);
    EXPECT_TRUE(reread.stringMatchesFilters("app.js.map"));

    // loadData replaces the list, dropping unsaved edits.
    reread.removeObjectFromFiltersAtIndex(0);
    EXPECT_TRUE(reread.loadData());
    EXPECT_EQ(reread.countOfFilters(), 3u);
    EXPECT_FALSE(reread.modified());
}

TEST_F(HVFileFiltersTest, ClosingThePreferencesSavesAndPostsOnlyWhenModifiedAndReportsFailures) {
    HVFileFilters filters;
    std::vector<const void*> posts;
    HVScopedObserver observer(HVNotificationCenter::defaultCenter(),
                              HVNotificationCenter::defaultCenter().addObserver(
                                  "HVSiteViewFiltersChanged", nullptr,
                                  [&](const HVNotification& n) { posts.push_back(n.object); }));
    EXPECT_TRUE(filters.commitIfModified());
    EXPECT_TRUE(posts.empty());
    EXPECT_FALSE(HVFileSystem::exists(environment.userPath())) << "nothing to save";

    filters.insertObject(HVFileFilter::filterWithPattern("^tmp$"), 0);
    filters.objectInFiltersAtIndex(0)->setValue("title", "Temp");
    EXPECT_TRUE(filters.commitIfModified());
    EXPECT_EQ(posts, (std::vector<const void*>{nullptr}));
    EXPECT_EQ(HVPropertyList::readFromFile(environment.userPath()),
              HVPlistValue(HVPlistValue::Array{element("Temp", "^tmp$", true)}));
    EXPECT_TRUE(filters.commitIfModified());
    EXPECT_EQ(posts.size(), 1u);

    // A plain file where the "data" folder belongs makes the write fail.
    ASSERT_TRUE(HVFileSystem::removeRecursively(environment.data.pathFor("Halvet")));
    environment.data.write("Halvet/data", "not a folder");
    filters.insertObject(HVFileFilter::filterWithPattern("x"), 0);
    HVError error;
    EXPECT_FALSE(filters.commitIfModified(&error));
    EXPECT_FALSE(error.description().empty());
    EXPECT_TRUE(filters.modified()) << "still to be saved";
    EXPECT_EQ(posts.size(), 2u) << "the filters in use did change";
    EXPECT_EQ(HVReadFile(environment.data.pathFor("Halvet/data")), "not a folder");
}

TEST_F(HVFileFiltersTest, AnUnreadableUserCopyFallsBackToTheShippedFiltersAndIsKept) {
    environment.writeShipped(xmlOf(HVPlistValue::Array{element("Shipped", "shipped", true)}));
    const std::string garbage = "<?xml version=\"1.0\"?><plist><array><dict><key>Ti";
    std::string user = environment.writeUser(garbage);

    HVFileFilters filters;
    HVError error;
    EXPECT_FALSE(filters.loadData(&error));
    EXPECT_TRUE(error.is(HVPlatformErrorDomain, HVFileReadCorruptFileError));
    EXPECT_EQ(error.description(), "The file filters in \"" + user + "\" cannot be read.");
    EXPECT_NE(error.recoverySuggestion().find("The file filters shipped with Halvet are used"),
              std::string::npos)
        << error.recoverySuggestion();
    EXPECT_EQ(describe(filters.filters()), "Shipped | shipped | on valid\n");
    EXPECT_EQ(HVReadFile(user), garbage) << "loading never touches the user's file";

    // Saving keeps the unreadable file aside instead of writing over it.
    ASSERT_TRUE(filters.commit());
    EXPECT_EQ(HVReadFile(user + ".unreadable"), garbage);
    EXPECT_EQ(HVPropertyList::readFromFile(user),
              HVPlistValue(HVPlistValue::Array{element("Shipped", "shipped", true)}));
    ASSERT_TRUE(filters.commit());
    EXPECT_FALSE(HVFileSystem::exists(user + ".unreadable-2")) << "only the unreadable copy";
}

TEST_F(HVFileFiltersTest, AUserCopyOfTheWrongShapeOrWithBadElementsIsReported) {
    environment.writeShipped(xmlOf(HVPlistValue::Array{element("Shipped", "shipped", true)}));
    HVPlistValue::Dictionary notAList;
    notAList["Title"] = "x";
    std::string user = environment.writeUser(xmlOf(notAList));
    HVFileFilters filters;
    HVError error;
    EXPECT_FALSE(filters.loadData(&error));
    EXPECT_NE(error.recoverySuggestion().find("Its top level is a dictionary where an array is"),
              std::string::npos)
        << error.recoverySuggestion();
    EXPECT_EQ(filters.countOfFilters(), 1u);

    // Readable elements are used; the others are named in the error and the file is kept.
    HVPlistValue::Dictionary badRegex = element("Bad", "", true);
    badRegex["Regex"] = 7;
    std::string mixed = xmlOf(
        HVPlistValue::Array{element("Good", "good", true), HVPlistValue("stray string"), badRegex});
    environment.writeUser(mixed);
    EXPECT_FALSE(filters.loadData(&error));
    EXPECT_EQ(error.description(), "Some of the file filters in \"" + user + "\" cannot be read.");
    EXPECT_NE(error.recoverySuggestion().find("Filter 2: A filter is not a dictionary."),
              std::string::npos)
        << error.recoverySuggestion();
    EXPECT_NE(error.recoverySuggestion().find(
                  "Filter 3: The filter \"Bad\" is not entirely readable. Its \"Regex\" has"),
              std::string::npos)
        << error.recoverySuggestion();
    EXPECT_EQ(describe(filters.filters()), "Good | good | on valid\nBad | - | on valid\n");
    ASSERT_TRUE(filters.commit());
    EXPECT_EQ(HVReadFile(user + ".unreadable"), mixed);
}

TEST_F(HVFileFiltersTest, MatchingOnAnotherThreadWhileThePreferencesEdit) {
    // Run under the sanitizers, this catches unguarded state between a search thread's
    // matching and the preferences' edits.
    HVFileFilters filters;
    std::atomic<bool> stop{false};
    std::atomic<int> hidden{0};
    std::thread search([&] {
        do {
            if (filters.stringMatchesFilters(".git") && !filters.stringMatchesFilters("a.html"))
                ++hidden;
        } while (!stop);
    });
    for (int i = 0; i < 200; ++i) {
        filters.insertObject(HVFileFilter::filterWithPattern("^draft" + std::to_string(i)), 0);
        filters.objectInFiltersAtIndex(0)->setValue("pattern", "^x" + std::to_string(i));
        if (i % 2)
            filters.removeObjectFromFiltersAtIndex(1);
    }
    stop = true;
    search.join();
    EXPECT_GT(hidden.load(), 0);
    EXPECT_EQ(filters.countOfFilters(), 100u);
}
