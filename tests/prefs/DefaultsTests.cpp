#include "Defaults.h"
#include "HVFileSystem.h"
#include "HVPreferences.h"
#include "HVPropertyList.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

TEST(Defaults, RegistrationKeepsStoredValuesAndStoresSmallNumbersAsBooleans) {
    HVIsolatedPreferences isolated;
    auto& store = HVPreferences::sharedInstance();
    store.setObject("HVTabSizeKey", 8);
    store.setObject("HVUseTabs", false);
    Defaults::resetDefaults();

    EXPECT_EQ(store.integerForKey("HVTabSizeKey"), 8);
    EXPECT_EQ(store.boolForKey("HVUseTabs"), false);
    // 0 and 1 become booleans; larger numbers and strings stay as they are.
    EXPECT_EQ(store.objectForKey("HVLineBreak"), HVPlistValue(false));
    EXPECT_EQ(store.integerForKey("HVLineBreak"), 0);
    EXPECT_EQ(store.objectForKey("HVHowToOpenFiles"), HVPlistValue(false));
    EXPECT_EQ(store.objectForKey("HVSFTPLogWidth"), HVPlistValue(270.0));
    EXPECT_EQ(store.objectForKey("HVSFTPTimeout"), HVPlistValue("90"));
    EXPECT_EQ(store.objectForKey("HVCurrentThemeID"),
              HVPlistValue("com.ternwick.halvet.themes.light"));
    EXPECT_EQ(store.objectForKey("HVWebDAVExecPath"), HVPlistValue("/usr/local/bin/cadaver"));
    for (const auto& [key, value] : Defaults::defaultValues())
        EXPECT_TRUE(store.hasValueForKey(key)) << key;

    // Flushed: a new store on the same file sees them.
    HVPreferences reread(isolated.storePath());
    EXPECT_EQ(reread.integerForKey("HVTabSizeKey"), 8);
    EXPECT_EQ(reread.objectForKey("HVAutoComplete"), HVPlistValue(true));
}

TEST(Defaults, AnEmptyStoreGetsTheTable) {
    HVIsolatedPreferences isolated;
    Defaults::resetDefaults();
    auto& store = HVPreferences::sharedInstance();
    EXPECT_EQ(store.objectForKey("HVTabSizeKey"), HVPlistValue(4));
    EXPECT_EQ(Defaults::defaultValues().size(), 36u);
}

TEST(Defaults, TypedAccessorsTreatWrongTypesAsAbsent) {
    HVIsolatedPreferences isolated;
    auto& store = HVPreferences::sharedInstance();
    EXPECT_TRUE(Defaults::useSharedProjectLocation());
    EXPECT_TRUE(Defaults::promptToSearchLocalCache());
    EXPECT_FALSE(Defaults::searchLocalCacheForRemoteProjects());
    EXPECT_EQ(Defaults::textEncoding(), "utf-8");

    store.setObject("HVUseSharedProjectLocation", "no");
    store.setObject("HVDontPromptToSearchLocalCache", true);
    store.setObject("HVSearchLocalCacheForRemoteProjects", 1);
    store.setObject("HVTextEncoding", 5);
    EXPECT_TRUE(Defaults::useSharedProjectLocation());
    EXPECT_FALSE(Defaults::promptToSearchLocalCache());
    EXPECT_TRUE(Defaults::searchLocalCacheForRemoteProjects());
    EXPECT_EQ(Defaults::textEncoding(), "utf-8");

    store.setObject("HVUseSharedProjectLocation", false);
    EXPECT_FALSE(Defaults::useSharedProjectLocation());

    EXPECT_EQ(Defaults::defaultFont().pointSize, 11.0);
    Defaults::setDefaultFont({"DejaVu Sans Mono", 13.5});
    EXPECT_EQ(Defaults::defaultFont(), (HVFontDescription{"DejaVu Sans Mono", 13.5}));
    store.setObject("HVDefaultFontKey", "not an archive");
    EXPECT_EQ(Defaults::defaultFont().pointSize, 11.0);
}

TEST(Defaults, SupportPathsFollowXDGDataHome) {
    HVTemporaryDirectory dir;
    HVScopedEnvironment data("XDG_DATA_HOME", dir.path());
    EXPECT_EQ(Defaults::supportDirectory(), dir.path() + "/Halvet");
    EXPECT_EQ(Defaults::appSupportPathForFile("index.db"), dir.path() + "/Halvet/index.db");
    EXPECT_EQ(Defaults::appSupportPathForFile("projects.plist", "data"),
              dir.path() + "/Halvet/data/projects.plist");
    HVScopedEnvironment relative("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(Defaults::supportDirectory(), HVFileSystem::homeDirectory() + "/.local/share/Halvet")
        << "a relative XDG path is ignored, as the XDG rules say";
}

TEST(Defaults, CreatingTheSupportFoldersSeedsToolsFromTheResources) {
    HVTemporaryDirectory data, resources;
    HVScopedEnvironment dataHome("XDG_DATA_HOME", data.path());
    HVScopedEnvironment resourceDir("HALVET_RESOURCES_DIR", resources.path());
    resources.write("Tidy/Clean.tidy", "indent: yes\n");
    resources.write("User Scripts/Sort Lines.sh", "#!/bin/sh\nsort\n");
    ASSERT_TRUE(Defaults::createSupportDirectories());
    for (const auto& name : Defaults::supportSubdirectories())
        EXPECT_TRUE(HVFileSystem::isDirectory(Defaults::appSupportPathForFile(name))) << name;
    EXPECT_EQ(HVReadFile(Defaults::appSupportPathForFile("Clean.tidy", "TidyConfigFiles")),
              "indent: yes\n");
    EXPECT_TRUE(
        HVFileSystem::exists(Defaults::appSupportPathForFile("Sort Lines.sh", "userscripts")));
    EXPECT_TRUE(HVFileSystem::isDirectory(Defaults::temporaryDirectory()));

    // A second run keeps what the user changed.
    data.write("Halvet/TidyConfigFiles/Clean.tidy", "mine\n");
    ASSERT_TRUE(Defaults::createSupportDirectories());
    EXPECT_EQ(HVReadFile(Defaults::appSupportPathForFile("Clean.tidy", "TidyConfigFiles")),
              "mine\n");
}

TEST(Defaults, TheUsersCopyOfAResourceComesFirst) {
    HVTemporaryDirectory data, resources;
    HVScopedEnvironment dataHome("XDG_DATA_HOME", data.path());
    HVScopedEnvironment resourceDir("HALVET_RESOURCES_DIR", resources.path());
    std::string shipped = resources.write("Themes/Light.plist", "<plist/>");
    std::string shippedDark = resources.write("Themes/Dark.plist", "<plist/>");
    std::string topLevel = resources.write("charsets.plist", "<plist/>");
    resources.write("Themes/readme.txt", "not a theme");

    EXPECT_EQ(Defaults::pathForResource("Light", "plist", "Themes"), shipped);
    EXPECT_EQ(Defaults::pathForResource("charsets", "plist", "Themes"), topLevel)
        << "a resource missing from the directory is looked for at the top";
    EXPECT_EQ(Defaults::pathForResource("Missing", "plist", "Themes"), std::nullopt);

    std::string user = data.write("Halvet/Themes/Light.plist", "<plist/>");
    std::string userNested = data.write("Halvet/Themes/more/Extra.plist", "<plist/>");
    EXPECT_EQ(Defaults::pathForResource("Light", "plist", "Themes"), user);
    EXPECT_EQ(Defaults::pathsForResourcesOfType("plist", "Themes"),
              (std::vector<std::string>{user, userNested, shippedDark, shipped}));
    EXPECT_EQ(Defaults::pathForResource("Light.plist", "", "Themes"), user);
}

TEST(Defaults, ShippedResourcesAreFoundFromTheBuildTree) {
    // Without an override the source tree's resources folder serves a build-tree program.
    ::unsetenv("HALVET_RESOURCES_DIR");
    std::string dir = Defaults::applicationResourcesDirectory();
    EXPECT_TRUE(HVFileSystem::isDirectory(dir)) << dir;
    EXPECT_TRUE(HVFileSystem::exists(HVFileSystem::appendingPathComponent(dir, "README.md")));
}

TEST(Defaults, WritePlistIsAtomic) {
    HVTemporaryDirectory dir;
    std::string path = dir.pathFor("data/x.plist");
    HVFileSystem::createDirectory(dir.pathFor("data"));
    HVPlistValue::Dictionary value;
    value["a"] = 1;
    EXPECT_TRUE(Defaults::writePlist(value, path, HVPlistFormat::Binary));
    EXPECT_EQ(*HVPropertyList::readFromFile(path), HVPlistValue(value));
    EXPECT_FALSE(Defaults::writePlist(HVPlistValue(), path, HVPlistFormat::XML));
    EXPECT_EQ(*HVPropertyList::readFromFile(path), HVPlistValue(value));
}
