#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVProject.h"
#include "HVProjectRepository.h"
#include "HVProjectTestEnvironment.h"
#include "HVPropertyList.h"

#include <gtest/gtest.h>

namespace {

HVProjectRepository& registry() {
    return HVProjectRepository::sharedInstance();
}

// The display names in list order, joined by blanks.
std::string names() {
    std::string joined;
    for (std::size_t i = 0; i < registry().countOfProjects(); ++i)
        joined += (i ? " " : "") + registry().projectAtIndex(i)->displayName();
    return joined;
}

// Projects named by the letters, each with a directory of its own, added so that the list
// reads in the letters' order.
void fill(HVProjectTestEnvironment& environment, const std::string& letters) {
    for (auto letter = letters.rbegin(); letter != letters.rend(); ++letter) {
        const std::string name(1, *letter);
        registry().addProject(HVProject::initWithRootDirectory(environment.directory(name), name));
    }
}

} // namespace

struct MoveCase {
    const char* name;
    std::size_t from;
    std::size_t to;
    const char* order;
};

class RepositoryMoves : public ::testing::TestWithParam<MoveCase> {};

TEST_P(RepositoryMoves, LandWhereTheRowWasDropped) {
    HVProjectTestEnvironment environment;
    fill(environment, "ABCDE");
    ASSERT_EQ(names(), "A B C D E");
    registry().moveProject(GetParam().from, GetParam().to);
    EXPECT_EQ(names(), GetParam().order);
}

INSTANTIATE_TEST_SUITE_P(Projects, RepositoryMoves,
                         ::testing::Values(MoveCase{"DownOneToFourLandsAtThree", 1, 4, "A C D B E"},
                                           MoveCase{"UpFourToOneLandsAtOne", 4, 1, "A E B C D"},
                                           MoveCase{"ToTheEnd", 0, 5, "B C D E A"},
                                           MoveCase{"OntoItself", 2, 2, "A B C D E"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SortedCase {
    const char* name;
    bool ascending;
    const char* list;
    const char* added;
    std::size_t index;
};

class RepositorySortedInsert : public ::testing::TestWithParam<SortedCase> {};

TEST_P(RepositorySortedInsert, GoesBeforeTheFirstThatDoesNotSortBeforeIt) {
    const SortedCase& c = GetParam();
    HVProjectTestEnvironment environment;
    fill(environment, c.list);
    auto project = HVProject::initWithRootDirectory(environment.directory("new"), c.added);
    EXPECT_EQ(registry().insertProjectSorted(project, c.ascending), c.index);
    EXPECT_EQ(registry().indexOfProject(*project), c.index);
}

INSTANTIATE_TEST_SUITE_P(
    Projects, RepositorySortedInsert,
    ::testing::Values(SortedCase{"Ascending", true, "ACE", "D", 2},
                      SortedCase{"AscendingBeforeAnEqualNameIgnoringCase", true, "ACE", "c", 1},
                      SortedCase{"AscendingAtTheEnd", true, "ACE", "F", 3},
                      SortedCase{"Descending", false, "ECA", "B", 2},
                      SortedCase{"DescendingBeforeAnEqualName", false, "ECA", "c", 1},
                      SortedCase{"DescendingAtTheTop", false, "ECA", "Z", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Repository, AddingPutsANewProjectOnTopAndAKnownDirectoryOnce) {
    HVProjectTestEnvironment environment;
    fill(environment, "AB");
    auto project = HVProject::initWithRootDirectory(environment.directory("C"), "C");
    EXPECT_EQ(registry().addProject(project), 0u);
    auto again = HVProject::initWithRootDirectory(environment.directory("B"), "B again");
    EXPECT_EQ(registry().addProject(again), 2u);
    EXPECT_EQ(names(), "C A B");
    registry().removeProjectAtIndex(1);
    EXPECT_EQ(names(), "C B");
    EXPECT_EQ(registry().copyProjectWithPath(environment.directory("A"), false), nullptr);
}

TEST(Repository, ADirectoryAndTheProjectFileInItGiveOneProject) {
    HVProjectTestEnvironment environment;
    const std::string root = environment.localSite();
    std::vector<const void*> created;
    HVScopedObserver observer(
        HVNotificationCenter::defaultCenter(),
        HVNotificationCenter::defaultCenter().addObserver(
            std::string(HVProjectCreatedNotification), nullptr,
            [&](const HVNotification& notification) { created.push_back(notification.object); }));

    auto byDirectory = registry().copyProjectWithPath(root + "/");
    ASSERT_NE(byDirectory, nullptr);
    // Nothing was found, so it was saved at once, in the root since the preference says so.
    const auto file = byDirectory->localProjectFilePath();
    ASSERT_TRUE(file && HVFileSystem::isRegularFile(*file));
    auto byFile = registry().copyProjectWithPath(*file);
    EXPECT_EQ(byFile.get(), byDirectory.get());
    EXPECT_EQ(created, std::vector<const void*>{byDirectory.get()});
    EXPECT_EQ(registry().countOfProjects(), 0u);
}

TEST(Repository, AVersionOneRegistryLoadsAndIsRewrittenOnlyAtTheNextSave) {
    HVProjectTestEnvironment environment;
    const std::string first = environment.directory("first");
    const std::string second = environment.directory("second");
    HVPlistValue::Array entries{
        HVPlistValue::Dictionary{{"DisplayName", HVPlistValue("First")},
                                 {"RootDirectory", HVPlistValue(first)},
                                 {"HasRemoteEquivalent", HVPlistValue(true)}},
        HVPlistValue::Dictionary{{"DisplayName", HVPlistValue("Second")},
                                 {"RootDirectory", HVPlistValue(second)}}};
    const std::string path = environment.supportPath("data/projects.plist");
    ASSERT_EQ(registry().registryPath(), path);
    ASSERT_TRUE(HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path)));
    ASSERT_TRUE(HVPropertyList::writeToFile(
        HVPlistValue::Dictionary{{"FormatVersion", HVPlistValue("1.0")}, {"Projects", entries}},
        path, HVPlistFormat::Binary));

    registry().reload();
    ASSERT_EQ(names(), "First Second");
    EXPECT_EQ(registry().remoteProjects().size(), 1u);
    EXPECT_EQ(*HVPropertyList::readFromFile(path)->stringForKey("FormatVersion"), "1.0");
    EXPECT_EQ(registry().copyProjectWithPath(first, false), registry().projectAtIndex(0));

    ASSERT_TRUE(registry().commit());
    const HVPlistValue saved = *HVPropertyList::readFromFile(path);
    EXPECT_EQ(*saved.stringForKey("FormatVersion"), "3.0");
    const std::string uuid = registry().projectAtIndex(1)->uuid();
    // The current form reads back with the same uuids.
    registry().reload();
    ASSERT_EQ(registry().countOfProjects(), 2u);
    EXPECT_EQ(registry().projectAtIndex(1)->uuid(), uuid);
    EXPECT_EQ(registry().projectAtIndex(1)->rootDirectory(), second);
}

TEST(Repository, TheOldestSiteListLoadsWhenThereIsNoRegistry) {
    HVProjectTestEnvironment environment;
    const std::string root = environment.directory("old");
    const std::string list = environment.supportPath("data/site_list.plist");
    ASSERT_TRUE(HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(list)));
    ASSERT_TRUE(HVPropertyList::writeToFile(
        HVPlistValue::Array{HVPlistValue::Dictionary{{"Path", HVPlistValue(root)},
                                                     {"DisplayName", HVPlistValue("Old One")}}},
        list, HVPlistFormat::XML));
    registry().reload();
    EXPECT_EQ(names(), "Old One");
    EXPECT_FALSE(HVFileSystem::exists(registry().registryPath()));
}

TEST(Repository, AProjectFileInTheSharedFolderIsPreferredToThePath) {
    HVProjectTestEnvironment environment;
    const std::string root = environment.directory("site");
    {
        auto project = HVProject::initWithRootDirectory(root, "Shared Name");
        ASSERT_TRUE(project->commit(true));
        registry().addProject(project);
    }
    registry().reload();
    ASSERT_EQ(registry().countOfProjects(), 1u);
    auto project = registry().projectAtIndex(0);
    EXPECT_TRUE(project->isLoaded());
    EXPECT_EQ(project->displayName(), "Shared Name");
}
