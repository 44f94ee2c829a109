#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVProject.h"
#include "HVProjectRemoteConfiguration.h"
#include "HVProjectRepository.h"
#include "HVProjectSettings.h"
#include "HVProjectTestEnvironment.h"
#include "HVTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

// These run inside scripts/with-secret-store, which gives the program a throwaway keyring.

namespace {

// Counts the project notifications and keeps the object of the last one.
struct PostedNotifications {
    PostedNotifications() {
        auto& center = HVNotificationCenter::defaultCenter();
        auto count = [this](const HVNotification& notification) {
            names.push_back(notification.name);
            object = notification.object;
        };
        created = HVScopedObserver(
            center, center.addObserver("HVProjectCreatedNotification", nullptr, count));
        edited = HVScopedObserver(
            center, center.addObserver("HVProjectEditedNotification", nullptr, count));
    }
    std::vector<std::string> names;
    const void* object = nullptr;
    HVScopedObserver created;
    HVScopedObserver edited;
};

class ProjectSettingsTest : public ::testing::Test {
protected:
    const std::string& home() const { return environment.home(); }

    HVProjectTestEnvironment environment;
    HVTemporaryDirectory folder;
};

struct WarningCase {
    const char* name;
    int kind;
    const char* directory;
    const char* host;
    const char* warning;
};

class ProjectSettingsWarningTest : public ::testing::TestWithParam<WarningCase> {};

TEST_P(ProjectSettingsWarningTest, NamesWhatIsBlankForTheKind) {
    const WarningCase& c = GetParam();
    HVProjectSettings settings;
    settings.setKind(c.kind);
    settings.setLocalDirectory(c.directory);
    settings.setHost(c.host);
    EXPECT_EQ(settings.warning(), c.warning);
    EXPECT_EQ(settings.isValid(), std::string(c.warning).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ProjectSettingsWarningTest,
    ::testing::Values(WarningCase{"LocalWithoutDirectory", 0, "", "", "Local directory is blank"},
                      WarningCase{"LocalNeedsNoHost", 0, "/srv/site", "", ""},
                      WarningCase{"LocalWithBlanksOnly", 0, "  ", "", "Local directory is blank"},
                      WarningCase{"RemoteWithoutHost", 1, "/srv/site", "", "Remote host is blank"},
                      WarningCase{"RemoteNeedsNoDirectory", 1, "", "example.org", ""},
                      WarningCase{"ComboWithNeither", 2, "", "",
                                  "Local directory is blank and remote host is blank"},
                      WarningCase{"ComboWithoutHost", 2, "/srv/site", " ", "Remote host is blank"},
                      WarningCase{"ComboWithoutDirectory", 2, "", "example.org",
                                  "Local directory is blank"},
                      WarningCase{"ComboWithBoth", 2, "/srv/site", "example.org", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProjectSettingsTest, ARecentHostPresetKeepsOnlyTheServerAndItsLogin) {
    HVProjectSettings settings;
    settings.setKind(HVProject::Combo);
    settings.setPassword("old-password");
    settings.setInitialDirectory("/var/www");
    settings.setOtherOptions("-v");
    settings.setPassiveModeOff(true);

    HVProjectSettingsPreset preset;
    preset.recentHost = {{"HVRecentRemoteHost", "files.example.org"},
                         {"HVRecentRemoteUser", "anna"},
                         {"HVRecentRemotePort", 2222},
                         {"HVRecentRemoteProtocol", 1}};
    settings.setFromPreset(preset);

    EXPECT_EQ(settings.host() + " " + settings.user() + " " + settings.port(),
              "files.example.org anna 2222");
    EXPECT_EQ(settings.protocol(), HVRemoteProtocol::SFTP);
    // Cleared: nothing of the earlier server is left.
    EXPECT_EQ(settings.password() + settings.initialDirectory() + settings.otherOptions(), "");
    EXPECT_EQ(settings.options(), HVPlistValue::Dictionary{});
}

TEST_F(ProjectSettingsTest, RecentHostsAreOfferedAsPresetsNewestFirst) {
    HVPreferences::sharedInstance().setObject(
        "HVRecentRemoteHosts",
        HVPlistValue::Array{HVPlistValue::Dictionary{{"HVRecentRemoteHost", "new.example.org"},
                                                     {"HVRecentRemoteUser", "anna"},
                                                     {"HVRecentRemoteProtocol", 0}},
                            HVPlistValue::Dictionary{{"HVRecentRemoteHost", "old.example.org"},
                                                     {"HVRecentRemoteProtocol", 2}}});
    std::vector<std::string> titles;
    for (const auto& preset : HVProjectSettings().presets()) {
        if (!preset.project)
            titles.push_back(preset.title);
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"anna@new.example.org", "old.example.org"}));
}

TEST_F(ProjectSettingsTest, AnotherProjectsServerIsAPresetWithAllItsDetails) {
    auto other = HVProject::initWithRootDirectory(folder.path(), "Shop");
    HVProjectRemoteConfiguration remote;
    remote.setHost("shop.example.org");
    remote.setUser("anna");
    remote.setPort(HVPlistValue(2121));
    remote.setInitialDirectory("/htdocs");
    remote.setOptions(HVPlistValue::Dictionary{{"A", true}});
    other->setRemoteConfig(remote);
    HVProjectRepository::sharedInstance().addProject(other);

    HVProjectSettings settings;
    settings.setKind(HVProject::Combo);
    std::vector<HVProjectSettingsPreset> presets = settings.presets();
    ASSERT_EQ(presets.size(), 1u);
    EXPECT_EQ(presets[0].title, "Shop");
    settings.setFromPreset(presets[0]);
    EXPECT_EQ(settings.host() + " " + settings.user() + " " + settings.port() + " " +
                  settings.initialDirectory(),
              "shop.example.org anna 2121 /htdocs");
    EXPECT_TRUE(settings.passiveModeOff());
    // Editing that project offers no preset of itself.
    EXPECT_EQ(HVProjectSettings(other).presets().size(), 0u);
}

TEST_F(ProjectSettingsTest, TheOptionsAreThoseOfTheChosenProtocolAndReachTheClientArguments) {
    HVProjectSettings settings;
    settings.setKind(HVProject::Combo);
    settings.setLocalDirectory(folder.path());
    settings.setHost("example.org");
    settings.setPassiveModeOff(true);
    settings.setIdentityFile("~/.ssh/id_site");
    settings.setOtherOptions("-v");
    EXPECT_EQ(settings.options(), (HVPlistValue::Dictionary{{"A", true}, {"other", "-v"}}));

    settings.setProtocol(HVRemoteProtocol::SFTP);
    ASSERT_TRUE(settings.confirm());
    EXPECT_EQ(settings.project()->remoteConfig().arguments(),
              (std::vector<std::string>{"-oIdentityFile=\"" + home() + "/.ssh/id_site\"", "-v"}));
}

TEST_F(ProjectSettingsTest, ANewRemoteSiteGetsItsCacheFolderAndIsAnnouncedOnce) {
    PostedNotifications posted;
    HVProjectSettings settings;
    settings.setKind(HVProject::Remote);
    settings.setDisplayName("shop front");
    settings.setHost("www.example.org");
    settings.setUser("anna");
    ASSERT_TRUE(settings.confirm());

    const auto& project = settings.project();
    EXPECT_EQ(project->type(), HVProject::Remote);
    EXPECT_EQ(project->rootDirectory(), home() + "/Sites/Halvet/ShopFront");
    EXPECT_TRUE(std::filesystem::is_directory(project->rootDirectory()));
    EXPECT_EQ(posted.names, std::vector<std::string>{"HVProjectCreatedNotification"});
    EXPECT_EQ(posted.object, project.get());
    // Opening the folder as a project finds this project, settings and all.
    EXPECT_EQ(HVProjectRepository::sharedInstance().copyProjectWithPath(project->rootDirectory()),
              project);
}

TEST_F(ProjectSettingsTest, ALocalFolderMayBeGivenFromTheHomeFolder) {
    HVProjectSettings settings;
    settings.setLocalDirectory("~/site");
    settings.setHost("left.over.example.org");
    ASSERT_TRUE(settings.confirm());
    EXPECT_EQ(settings.project()->rootDirectory(), home() + "/site");
    EXPECT_FALSE(settings.project()->remoteConfig().hasHost());
    EXPECT_EQ(settings.project()->type(), HVProject::Local);
}

TEST_F(ProjectSettingsTest, EditingAnOpenProjectChangesOnlyItsNameAndSettings) {
    auto project = std::make_shared<HVProject>();
    project->setType(HVProject::Combo);
    project->setRootDirectory(folder.path());
    HVProjectRemoteConfiguration remote;
    remote.setHost("www.example.org");
    remote.setUser("anna");
    project->setRemoteConfig(remote);
    project->setIsOpen(true);

    PostedNotifications posted;
    HVProjectSettings settings(project);
    EXPECT_FALSE(settings.canChangeLocation());
    settings.setKind(HVProject::Local);
    settings.setLocalDirectory("/elsewhere");
    settings.setHost("other.example.org");
    settings.setUser("bob");
    settings.setDisplayName("Renamed");
    settings.setUploadAutomatically(false);
    EXPECT_EQ(settings.host(), "www.example.org");
    ASSERT_TRUE(settings.confirm());

    EXPECT_EQ(project->type(), HVProject::Combo);
    EXPECT_EQ(project->rootDirectory(), folder.path());
    EXPECT_TRUE(project->remoteConfig().isEqual(remote));
    EXPECT_EQ(project->displayName(), "Renamed");
    EXPECT_FALSE(project->boolConfigurationValueForKey("HVUploadAutomaticallyKey"));
    EXPECT_EQ(posted.names, std::vector<std::string>{"HVProjectEditedNotification"});
    EXPECT_EQ(posted.object, project.get());
}

TEST_F(ProjectSettingsTest, ThePasswordGoesToTheSecretStoreAndNotIntoTheProjectFile) {
    const std::string password = "pw-7f3a-only-in-the-store";
    HVProjectSettings settings;
    settings.setKind(HVProject::Combo);
    settings.setLocalDirectory(folder.path());
    settings.setHost("www.example.org");
    settings.setUser("anna");
    settings.setPassword(password);
    ASSERT_TRUE(settings.confirm());

    // The file the save wrote, and any other in the folder.
    const std::string shared = settings.project()->sharedProjectFilePath();
    ASSERT_TRUE(HVFileSystem::isRegularFile(shared));
    EXPECT_EQ(HVReadFile(shared).find(password), std::string::npos);
    for (const std::string& path : HVFileSystem::listRecursively(folder.path()))
        EXPECT_EQ(HVReadFile(path).find(password), std::string::npos) << path;

    HVProjectRemoteConfiguration stored;
    stored.setHost("www.example.org");
    stored.setUser("anna");
    stored.setUseKeychain(true);
    EXPECT_EQ(stored.password(), password);
}

} // namespace
