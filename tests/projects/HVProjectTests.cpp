#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVProject.h"
#include "HVProjectRemoteConfiguration.h"
#include "HVProjectRepository.h"
#include "HVProjectTestEnvironment.h"
#include "HVPropertyList.h"
#include "HVSecretStore.h"

#include <gtest/gtest.h>

#include <map>

// These run inside scripts/with-secret-store, which gives the program a throwaway keyring.

namespace {

HVPlistValue readPlist(const std::string& path) {
    return HVPropertyList::readFromFile(path).value_or(HVPlistValue());
}

std::string displayNameIn(const std::string& path) {
    const HVPlistValue plist = readPlist(path);
    const HVPlistValue* local = plist.objectForKey("local-metadata");
    const std::string* name = local ? local->stringForKey("display-name") : nullptr;
    return name ? *name : "(none)";
}

// The keys that the records name, in order.
std::vector<std::string> problemKeys(const HVProject& project) {
    std::vector<std::string> keys;
    for (const HVError& problem : project.loadingProblems()) {
        const HVPlistValue* key = problem.userInfoValue(HVProjectFileKeyErrorKey);
        keys.push_back(key && key->string() ? *key->string() : "(file) " + problem.description());
    }
    return keys;
}

// As the settings editor makes one: named first, so the name is also the original one that
// names the file in the root.
std::shared_ptr<HVProject> namedProject(const std::string& root, const std::string& name) {
    auto project = std::make_shared<HVProject>();
    project->setDisplayName(name);
    project->setRootDirectory(root);
    return project;
}

} // namespace

// Where a save writes

struct LocationCase {
    const char* name;
    bool shared;
    bool sharedExists;
    bool localExists;
    bool sharedWritten;
    bool localWritten;
};

class ProjectFileLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(ProjectFileLocation, FirstPathAlwaysLaterOnlyWhenPresent) {
    const LocationCase& c = GetParam();
    HVProjectTestEnvironment environment;
    environment.setUseSharedLocation(c.shared);
    const std::string root = environment.directory("site");
    auto project = namedProject(root, "My Site");
    const std::string sharedPath = project->sharedProjectFilePath();
    const std::string localPath = root + "/My Site.hvproj";
    ASSERT_EQ(project->localProjectFilePath(), localPath);
    if (c.sharedExists) {
        ASSERT_TRUE(
            HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(sharedPath)) &&
            HVFileSystem::writeFileAtomically(sharedPath, "earlier"));
    }
    if (c.localExists) {
        ASSERT_TRUE(HVFileSystem::writeFileAtomically(localPath, "earlier"));
    }

    EXPECT_TRUE(project->commit(true));

    EXPECT_EQ(displayNameIn(sharedPath), c.sharedWritten ? "My Site" : "(none)");
    EXPECT_EQ(displayNameIn(localPath), c.localWritten ? "My Site" : "(none)");
    EXPECT_EQ(HVFileSystem::exists(sharedPath), c.sharedWritten || c.sharedExists);
    EXPECT_EQ(HVFileSystem::exists(localPath), c.localWritten || c.localExists);
}

INSTANTIATE_TEST_SUITE_P(
    Projects, ProjectFileLocation,
    ::testing::Values(LocationCase{"SharedOnlyForANewProject", true, false, false, true, false},
                      LocationCase{"SharedAndAnExistingLocal", true, false, true, true, true},
                      LocationCase{"LocalOnlyForANewProject", false, false, false, false, true},
                      LocationCase{"LocalAndAnExistingShared", false, true, false, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Project, AFileAlreadyInTheRootIsTheLocalFileWhateverTheName) {
    HVProjectTestEnvironment environment;
    const std::string root = environment.localSite();
    {
        auto earlier = namedProject(root, "Renamed Later");
        earlier->setDisplayName("Whatever");
        ASSERT_TRUE(earlier->commit(true));
    }
    ASSERT_TRUE(HVFileSystem::isRegularFile(root + "/Renamed Later.hvproj"));

    auto project = namedProject(root, "Another Name");
    EXPECT_EQ(project->localProjectFilePath(), root + "/Renamed Later.hvproj");
    ASSERT_TRUE(project->loadIfNecessary());
    EXPECT_EQ(project->displayName(), "Whatever");
    EXPECT_FALSE(HVFileSystem::exists(root + "/Another Name.hvproj"));
}

// Deferred saves

TEST(Project, OpenFilesAloneNeverWriteAndABurstOfChangesWritesOnceAfterTheLastOne) {
    HVProjectTestEnvironment environment;
    const std::string root = environment.localSite();
    const std::string file = root + "/Site.hvproj";
    auto project = namedProject(root, "Site");
    HVPlistValue::Dictionary entry{{"path", HVPlistValue("index.html")}};
    project->setConfigurationValue(HVPlistValue::Array{entry}, "HVOpenFiles");
    EXPECT_FALSE(project->hasPendingSave());

    // Each change comes before the previous one's save would be due.
    for (bool value : {false, true, false}) {
        project->setBoolConfigurationValue(value, "HVConnectAutomaticallyKey");
        HVDispatcher::main().runFor(0.3);
    }
    EXPECT_FALSE(HVFileSystem::exists(file));
    ASSERT_TRUE(HVDispatcher::main().runUntil([&] { return HVFileSystem::exists(file); }, 5));
    const HVPlistValue written = readPlist(file);
    const HVPlistValue* configuration = written.objectForKey("configuration");
    ASSERT_NE(configuration, nullptr);
    EXPECT_EQ(configuration->boolForKey("HVConnectAutomaticallyKey"), false);
    // Any second write would bring the file back.
    ASSERT_TRUE(HVFileSystem::removeRecursively(file));
    HVDispatcher::main().runFor(0.8);
    EXPECT_FALSE(HVFileSystem::exists(file));
}

TEST(Project, ApplyingAFileOrTheDefaultsSchedulesNoSave) {
    HVProjectTestEnvironment environment;
    EXPECT_FALSE(namedProject(environment.directory("site"), "Site")->hasPendingSave());
    auto loaded = HVProject::initWithProjectFile(HVTestDataPath("projects/older-format.hvproj"));
    EXPECT_FALSE(loaded->hasPendingSave());
}

TEST(Project, PerFileSettingsSetRemoveAndReplaceAndEachSaves) {
    HVProjectTestEnvironment environment;
    auto project = namedProject(environment.directory("site"), "Site");
    const std::string file = "css/site.css";
    project->setConfigurationValue(HVPlistValue(5), "HVFileEncoding", file);
    EXPECT_TRUE(project->hasPendingSave());
    project->setConfigurationValue(HVPlistValue("com.ternwick.halvet.css"), "HVFileBundle", file);
    project->setConfigurationValue(HVPlistValue(), "HVFileEncoding", file);
    EXPECT_EQ(project->configurationValueForKey("", file),
              HVPlistValue(HVPlistValue::Dictionary{
                  {"HVFileBundle", HVPlistValue("com.ternwick.halvet.css")}}));
    project->setConfigurationValue(
        HVPlistValue(HVPlistValue::Dictionary{{"HVFileEncoding", HVPlistValue(4)}}), "", file);
    EXPECT_EQ(project->configurationValueForKey("HVFileEncoding", file), HVPlistValue(4));
    EXPECT_EQ(project->configurationValueForKey("HVFileBundle", file), std::nullopt);
    project->setConfigurationValue(HVPlistValue(), "", file);
    EXPECT_EQ(project->configurationValueForKey("", file), std::nullopt);
    // What a save writes: no entry for the file.
    EXPECT_EQ(HVPlistValue(project->plistRepresentation()).objectForKey("file-configuration"),
              nullptr);
}

// Reading project files

TEST(Project, AnOlderFileWithAHostIsAComboWithItsSettingsMoved) {
    HVProjectTestEnvironment environment;
    auto project = HVProject::initWithProjectFile(HVTestDataPath("projects/older-format.hvproj"));
    EXPECT_EQ(problemKeys(*project), std::vector<std::string>{});
    EXPECT_EQ(project->type(), HVProject::Combo);
    EXPECT_EQ(project->displayName(), "Old Site");
    EXPECT_EQ(project->originalDisplayName(), "First Name");
    EXPECT_EQ(project->rootDirectory(), "/srv/www/old-site");
    EXPECT_EQ(project->configurationValueForKey("HVConnectAutomaticallyKey"), HVPlistValue(false));
    EXPECT_EQ(project->configurationValueForKey("HVUploadAutomaticallyKey"), HVPlistValue(false));
    EXPECT_EQ(project->configurationValueForKey("HVRemotePreviewURL"),
              HVPlistValue("http://www.example.org/"));
    EXPECT_EQ(project->configurationValueForKey("HVFileEncoding", "css/site.css"), HVPlistValue(5));
    EXPECT_EQ(project->configurationValueForKey("HVFileBundle", "css/site.css"),
              HVPlistValue("com.ternwick.halvet.css"));
    const auto& remote = project->remoteConfig();
    EXPECT_EQ(remote.host().value_or("-") + " " + remote.user().value_or("-") + " " +
                  remote.protocolDescription() + " " + std::to_string(remote.portNumber()) + " " +
                  remote.initialDirectory().value_or("-"),
              "ftp.example.org webmaster sftp 2222 public_html");
    EXPECT_TRUE(remote.useKeychain());
    // Written back in the current form, without the moved keys.
    const HVPlistValue::Dictionary plist = project->plistRepresentation();
    EXPECT_EQ(HVPlistValue(plist).integerForKey("format-version"), 1);
    EXPECT_EQ(HVPlistValue(plist).objectForKey("remote-metadata")->objectForKey("auto-connect"),
              nullptr);
}

TEST(Project, AnOlderFileWithoutAHostIsLocal) {
    HVProjectTestEnvironment environment;
    auto project =
        HVProject::initWithProjectFile(HVTestDataPath("projects/older-format-local.hvproj"));
    EXPECT_EQ(project->type(), HVProject::Local);
    EXPECT_FALSE(project->hasRemoteEquivalent());
    EXPECT_EQ(project->configurationValueForKey("HVConnectAutomaticallyKey"), HVPlistValue(true));
}

// A file whose value at one top-level key is bad: "" leaves the key out.
struct BadFileCase {
    const char* name;
    const char* key;
    const char* value;
    const char* problem;
};

class ProjectFileWithBadValues : public ::testing::TestWithParam<BadFileCase> {};

// Loads with defaults, names the key, and keeps the file until something is changed.
TEST_P(ProjectFileWithBadValues, LoadsWithDefaultsAndARecordNamingTheKey) {
    const BadFileCase& c = GetParam();
    HVProjectTestEnvironment environment;
    const std::string root = environment.localSite();
    const std::string file = root + "/Bad.hvproj";
    std::map<std::string, std::string> values{
        {"format-version", "<integer>1</integer>"},
        {"uuid", "<string>0C9E0C57-2A53-4B34-8E55-3D6A0E1B4D7F</string>"},
        {"type", "<integer>0</integer>"},
        {"local-metadata", "<dict/>"},
        {"remote-metadata", "<dict/>"}};
    values[c.key] = c.value;
    std::string bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    for (const auto& [key, value] : values)
        bytes += value.empty() ? "" : "<key>" + key + "</key>" + value;
    bytes += "</dict></plist>\n";
    ASSERT_TRUE(HVFileSystem::writeFileAtomically(file, bytes));

    auto project = HVProjectRepository::sharedInstance().copyProjectWithPath(root);
    ASSERT_NE(project, nullptr);
    EXPECT_TRUE(project->isLoaded());
    const auto keys = problemKeys(*project);
    EXPECT_NE(std::find(keys.begin(), keys.end(), c.problem), keys.end())
        << ::testing::PrintToString(keys);
    EXPECT_EQ(project->type(), HVProject::Local);
    EXPECT_EQ(project->configurationValueForKey("HVUploadAutomaticallyKey"), HVPlistValue(true));
    EXPECT_EQ(project->remoteConfig().portNumber(), 0);
    EXPECT_EQ(project->uuid().size(), 36u);
    EXPECT_EQ(HVReadFile(file), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Projects, ProjectFileWithBadValues,
    ::testing::Values(
        BadFileCase{"TypeIsAString", "type", "<string>2</string>", "type"},
        BadFileCase{"PortIsAnArray", "remote-metadata",
                    "<dict><key>host</key><string>h</string><key>port</key><array/></dict>",
                    "remote-metadata.port"},
        BadFileCase{"UUIDMissing", "uuid", "", "uuid"},
        BadFileCase{"ConfigurationIsAnArray", "configuration", "<array/>", "configuration"},
        BadFileCase{"DisplayNameIsANumber", "local-metadata",
                    "<dict><key>display-name</key><integer>7</integer></dict>",
                    "local-metadata.display-name"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Project, AnUnreadableFileIsNeverOverwritten) {
    HVProjectTestEnvironment environment;
    const std::string root = environment.localSite();
    const std::string file = root + "/Broken.hvproj";
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>type";
    ASSERT_TRUE(HVFileSystem::writeFileAtomically(file, garbage));

    auto project = HVProjectRepository::sharedInstance().copyProjectWithPath(root);
    ASSERT_NE(project, nullptr);
    EXPECT_FALSE(project->isLoaded());
    EXPECT_EQ(project->loadingProblems().size(), 1u);
    project->setBoolConfigurationValue(false, "HVUploadAutomaticallyKey");
    HVError error;
    EXPECT_FALSE(project->commit(true, &error));
    EXPECT_EQ(error.code(), 17);
    EXPECT_EQ(HVReadFile(file), garbage);
}

// The remote configuration

TEST(ProjectRemoteConfiguration, WithoutAHostItWritesNothingAndReadsBackWithoutKeychain) {
    HVProjectRemoteConfiguration config;
    config.setUser("alice");
    config.setInitialDirectory("www");
    EXPECT_EQ(config.plistRepresentation(), HVPlistValue::Dictionary{});

    HVProjectRemoteConfiguration loaded;
    loaded.loadFromPlist(config.plistRepresentation());
    EXPECT_FALSE(loaded.useKeychain());
    EXPECT_EQ(loaded.user(), std::nullopt);
}

struct ArgumentsCase {
    const char* name;
    HVPlistValue::Dictionary options;
    std::vector<std::string> arguments;
};

class RemoteArguments : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(RemoteArguments, FollowTheOptionRules) {
    HVProjectRemoteConfiguration config;
    config.setOptions(GetParam().options);
    EXPECT_EQ(config.arguments(), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Projects, RemoteArguments,
    ::testing::Values(
        ArgumentsCase{
            "OtherTrueNumberAndString",
            {{"other", HVPlistValue("-v -C")}, {"K1", HVPlistValue(1)}, {"K2", HVPlistValue("S")}},
            {"-K1", "-K2=\"S\"", "-v", "-C"}},
        ArgumentsCase{
            "FalseAndZeroAreQuotedValues",
            {{"A", HVPlistValue(false)}, {"B", HVPlistValue(0)}, {"C", HVPlistValue(true)}},
            {"-A=\"0\"", "-B=\"0\"", "-C"}},
        ArgumentsCase{"IdentityFileIsQuoted",
                      {{"oIdentityFile", HVPlistValue("/home/u/.ssh/id ed")}},
                      {"-oIdentityFile=\"/home/u/.ssh/id ed\""}},
        ArgumentsCase{"DoubledBlanksGiveNoEmptyArguments",
                      {{"other", HVPlistValue(" -4  -q ")}},
                      {"-4", "-q"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProjectRemoteConfiguration, EqualityIgnoresProtocolAndComparesAHeldPasswordOnly) {
    HVProjectRemoteConfiguration a;
    a.setHost("h");
    a.setUser("u");
    a.setPort(HVPlistValue(21));
    HVProjectRemoteConfiguration b = a;
    b.setProtocol(2);
    b.setUseKeychain(false);
    b.setPassword("secret");
    EXPECT_TRUE(a.isEqual(b));
    EXPECT_FALSE(b.isEqual(a));
    b.setPort(HVPlistValue("21"));
    EXPECT_FALSE(a.isEqual(b));
}

TEST(ProjectRemoteConfiguration, ThePasswordGoesToTheSecretStoreAndNeverIntoTheFile) {
    HVProjectTestEnvironment environment;
    const std::string root = environment.localSite();
    const std::string password = "pw-7f3a-marker-in-store-only";
    {
        auto project = namedProject(root, "Site");
        HVProjectRemoteConfiguration config;
        config.setHost("files.example.test");
        config.setUser("alice");
        config.setProtocol(1);
        config.setPort(HVPlistValue(2222));
        config.setPassword(password);
        project->setRemoteConfig(config);
        HVError error;
        ASSERT_TRUE(project->commit(true, &error)) << error.fullDescription();
        EXPECT_FALSE(project->remoteConfig().passwordChanged());
    }
    const std::string bytes = HVReadFile(root + "/Site.hvproj");
    EXPECT_NE(bytes.find("files.example.test"), std::string::npos);
    EXPECT_EQ(bytes.find(password), std::string::npos);

    auto reloaded = HVProject::initWithRootDirectory(root);
    ASSERT_TRUE(reloaded->loadIfNecessary());
    EXPECT_EQ(reloaded->remoteConfig().heldPassword(), std::nullopt);
    EXPECT_EQ(reloaded->remoteConfig().password(), password);
    EXPECT_FALSE(reloaded->remoteConfig().passwordChanged());

    // Without use-keychain the store is neither asked nor written.
    reloaded->remoteConfig().setUseKeychain(false);
    reloaded->remoteConfig().setPassword("not-stored");
    ASSERT_TRUE(reloaded->commit(true));
    HVProjectRemoteConfiguration fresh = reloaded->remoteConfig();
    fresh.setPassword(std::nullopt);
    fresh.setUseKeychain(true);
    EXPECT_EQ(fresh.password(), password);
}

// The cache directory of a remote-only project

TEST(Project, ARemoteOnlyDirectoryIsNamedByTheJoinedWordsAndAvoidsOthers) {
    HVProjectTestEnvironment environment;
    const std::string base = environment.home() + "/Sites/Halvet";
    auto first = HVProject::initWithRootDirectory(environment.directory("unused"), "my  site");
    first->setType(HVProject::Remote);
    HVProjectRemoteConfiguration a;
    a.setHost("a.example.test");
    first->setRemoteConfig(a);
    const auto firstDirectory = HVProject::projectDirectoryForProject(*first);
    EXPECT_EQ(firstDirectory, base + "/MySite");
    first->setRootDirectory(*firstDirectory);
    HVProjectRepository::sharedInstance().addProject(first);
    // The owner gets its own directory again.
    EXPECT_EQ(HVProject::projectDirectoryForProject(*first), base + "/MySite");

    HVProject second;
    second.setDisplayName("my  site");
    second.setType(HVProject::Remote);
    HVProjectRemoteConfiguration b;
    b.setHost("b.example.test");
    second.setRemoteConfig(b);
    EXPECT_EQ(HVProject::projectDirectoryForProject(second), base + "/MySite/MySite");
    EXPECT_EQ(HVProject::projectDirectoryForProject(second), base + "/MySite/MySite 1");
    EXPECT_TRUE(HVFileSystem::isDirectory(base + "/MySite/MySite 1"));
}
