#include "HVPreferences.h"
#include "HVPropertyList.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

TEST(HVPreferences, ValuesPersistAcrossInstancesAfterFlush) {
    HVTemporaryDirectory dir;
    std::string path = dir.pathFor("nested/Preferences.plist");
    {
        HVPreferences store(path);
        store.setObject("HVTabSizeKey", 8);
        store.setObject("HVTextEncoding", "windows-1251");
        store.setObject("HVList", HVPlistValue::Array{"a", "b"});
        EXPECT_TRUE(store.isDirty());
        HVError error;
        ASSERT_TRUE(store.flush(&error)) << error.fullDescription();
        EXPECT_FALSE(store.isDirty());
    }
    HVPreferences again(path);
    EXPECT_EQ(again.integerForKey("HVTabSizeKey"), 8);
    EXPECT_EQ(again.stringForKey("HVTextEncoding"), "windows-1251");
    EXPECT_EQ(again.arrayForKey("HVList")->size(), 2u);
    EXPECT_FALSE(again.hasValueForKey("HVNeverWritten"));
}

TEST(HVPreferences, TypedReadersTreatAnotherTypeAsAbsent) {
    HVTemporaryDirectory dir;
    HVPreferences store(dir.pathFor("p.plist"));
    store.setObject("string", "90");
    store.setObject("flag", false);
    store.setObject("number", 270.0);
    EXPECT_EQ(store.integerForKey("string"), std::nullopt);
    EXPECT_EQ(store.boolForKey("string"), std::nullopt);
    EXPECT_EQ(store.stringForKey("number"), std::nullopt);
    EXPECT_EQ(store.arrayForKey("flag"), std::nullopt);
    // Numbers read as one another: a stored false is the integer 0.
    EXPECT_EQ(store.integerForKey("flag"), 0);
    EXPECT_EQ(store.integerForKey("number"), 270);
    EXPECT_EQ(store.boolForKey("number"), true);
}

TEST(HVPreferences, ObserversSeeChangesButNotRewritesOfTheSameValue) {
    HVTemporaryDirectory dir;
    HVPreferences store(dir.pathFor("p.plist"));
    std::vector<std::string> seen;
    auto all = store.addObserver("", [&](const std::string& key) { seen.push_back("all:" + key); });
    store.addObserver("HVWrapText", [&](const std::string& key) { seen.push_back("one:" + key); });
    store.setObject("HVWrapText", true);
    store.setObject("HVWrapText", true);
    store.setObject("HVOther", 1);
    store.removeObserver(all);
    store.removeObjectForKey("HVWrapText");
    store.removeObjectForKey("HVWrapText");
    EXPECT_EQ(seen, (std::vector<std::string>{"all:HVWrapText", "one:HVWrapText", "all:HVOther",
                                              "one:HVWrapText"}));
}

TEST(HVPreferences, AnUnreadableFileIsKeptAsideNotOverwritten) {
    // Broken, and well formed but not a dictionary.
    std::string array = *HVPropertyList::serialize(HVPlistValue::Array{1, 2}, HVPlistFormat::XML);
    for (const std::string& bytes : {std::string("<plist><dict><key>broken"), array}) {
        HVTemporaryDirectory dir;
        std::string path = dir.write("Preferences.plist", bytes);
        HVPreferences store(path);
        ASSERT_TRUE(store.loadError().has_value()) << bytes;
        EXPECT_FALSE(store.hasValueForKey("broken"));
        store.setObject("HVUseTabs", true);
        ASSERT_TRUE(store.flush());
        EXPECT_EQ(HVReadFile(path + ".unreadable"), bytes);
        EXPECT_EQ(HVPreferences(path).boolForKey("HVUseTabs"), true);
    }
}
