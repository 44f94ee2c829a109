#include "Defaults.h"
#include "HVFileSystem.h"
#include "HVPreferences.h"
#include "HVPropertyList.h"
#include "HVSyntaxTestSupport.h"
#include "HVTestSupport.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"

#include <gtest/gtest.h>

namespace {

std::string describe(const std::optional<HVColor>& color) {
    return color ? HVTheme::stringFromColor(*color) : "none";
}

std::string themeFile(std::string_view id, std::string_view title,
                      std::string_view extraStyles = "") {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    xml += "<key>id</key><string>" + std::string(id) + "</string>";
    xml += "<key>format-title</key><string>" + std::string(title) + "</string>";
    xml += "<key>global-settings</key><dict><key>background</key><string>#ffffff</string>"
           "<key>foreground</key><string>#000000</string></dict>";
    xml += "<key>styles</key><array><dict><key>id</key><string>comment</string>"
           "<key>foreground</key><string>#808080</string></dict>";
    xml += extraStyles;
    xml += "</array></dict></plist>\n";
    return xml;
}

// A support directory and a shipped-resources directory of their own, and a private
// preference store, for one repository test.
struct ThemeWorld {
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory data;
    HVTemporaryDirectory shipped;
    HVScopedEnvironment dataHome{"XDG_DATA_HOME", data.path()};
    HVScopedEnvironment resources{"HALVET_RESOURCES_DIR", shipped.path()};

    std::string userTheme(std::string_view file, std::string_view contents) const {
        return data.write("Halvet/Themes/" + std::string(file), contents);
    }
    std::string shippedTheme(std::string_view file, std::string_view contents) const {
        return shipped.write("Themes/" + std::string(file), contents);
    }
};

std::string titles(HVThemeRepository& repository) {
    std::string out;
    for (const auto& theme : repository.themes())
        out += (&theme == &repository.themes().front() ? "" : ", ") + theme->title();
    return out;
}

} // namespace

TEST(HVTheme, ColourStringsOfEveryLength) {
    EXPECT_EQ(describe(HVTheme::colorFromString("#ff000080")), "#ff000080");
    EXPECT_EQ(HVTheme::colorFromString("#ff0000"), (HVColor{1, 0, 0, 1}));
    EXPECT_EQ(HVTheme::colorFromString("#FF8000"), (HVColor{1, 128 / 255.0, 0, 1}));
    // No "#", or too short for three pairs: no colour.
    EXPECT_EQ(HVTheme::colorFromString("ff0000"), std::nullopt);
    EXPECT_EQ(HVTheme::colorFromString(""), std::nullopt);
    EXPECT_EQ(HVTheme::colorFromString("#ff000"), std::nullopt);
    // Eight or ten and more characters: the alpha pair is not read.
    EXPECT_EQ(describe(HVTheme::colorFromString("#1020300")), "#102030ff");
    EXPECT_EQ(describe(HVTheme::colorFromString("#10203040ff")), "#102030ff");
    // A pair that is not hexadecimal counts as ff, also for alpha.
    EXPECT_EQ(describe(HVTheme::colorFromString("#zz2030")), "#ff2030ff");
    EXPECT_EQ(describe(HVTheme::colorFromString("#102030xy")), "#102030ff");
}

TEST(HVTheme, WrittenColoursAreLowerCaseWithAlphaAndFloorEachComponent) {
    EXPECT_EQ(HVTheme::stringFromColor({0.5, 0.999, 0.0039, 0.25}), "#7ffe003f");
    EXPECT_EQ(HVTheme::stringFromColor({-1, 2, 0, 1}), "#00ff00ff") << "clamped";
    // Every value read from a colour string is written back as it was.
    for (int value = 0; value < 256; ++value) {
        char text[16];
        std::snprintf(text, sizeof text, "#%02x%02x%02x%02x", value, 255 - value, value / 2, value);
        ASSERT_EQ(HVTheme::stringFromColor(*HVTheme::colorFromString(text)), text);
    }
}

TEST(HVTheme, StyleLookupFallsBackThroughDottedPrefixes) {
    auto theme = HVMakeTestTheme({"comment", "comment.line", "string"});
    auto color = [&](std::string_view id) {
        HVAttributes attributes = theme->attributesForIdentifier(id);
        const HVColor* c = attributes.color(HVForegroundColorAttribute);
        return c ? HVTheme::stringFromColor(*c) : std::string("none");
    };
    EXPECT_EQ(color("comment.line"), "#000002ff");
    EXPECT_EQ(color("comment.block"), "#000001ff");
    EXPECT_EQ(color("keyword.control"), "none");
    EXPECT_EQ(color("commentary"), "none") << "only whole dotted parts fall back";
    EXPECT_EQ(color(""), "none");
    EXPECT_TRUE(theme->containsIdentifier("comment.line"));
    EXPECT_FALSE(theme->containsIdentifier("comment.line.php"));
}

TEST(HVTheme, ReadingDropsStylesWithoutIdOrColourAndKeepsTraits) {
    HVPlistValue::Array styles{
        HVPlistValue::Dictionary{{"id", "a"}, {"foreground", "#102030"}},
        HVPlistValue::Dictionary{{"id", "b"}, {"background", "#405060"}},
        HVPlistValue::Dictionary{{"id", "c"}},
        HVPlistValue::Dictionary{{"foreground", "#102030"}},
        HVPlistValue::Dictionary{{"id", "d"}, {"foreground", "102030"}},
        HVPlistValue::Dictionary{{"id", "e"}, {"bold", true}, {"italic", true}},
        "not a dictionary",
    };
    HVTheme theme(HVPlistValue::Dictionary{
        {"id", "t"},
        {"format-title", "T"},
        {"global-settings",
         HVPlistValue::Dictionary{{"background", "#000000"}, {"selection", "nonsense"}}},
        {"styles", styles}});
    EXPECT_EQ(theme.styleIdentifiers(), (std::vector<std::string>{"a", "b", "e"}));
    EXPECT_EQ(theme.attributesForIdentifier("e").integerValue(HVFontTraitsAttribute),
              HVBoldFontTrait | HVItalicFontTrait);
    EXPECT_EQ(describe(theme.backgroundColor()), "#000000ff");
    EXPECT_EQ(describe(theme.selectionColor()), "none");
    EXPECT_EQ(describe(theme.textColor()), "none");

    // Written back: every set colour, every kept style, the traits only when set.
    HVPlistValue written = theme.plistRepresentation();
    EXPECT_EQ(*written.objectForKey("global-settings"),
              HVPlistValue(HVPlistValue::Dictionary{{"background", "#000000ff"}}));
    EXPECT_EQ(*written.objectForKey("styles"),
              HVPlistValue(HVPlistValue::Array{
                  HVPlistValue::Dictionary{{"id", "a"}, {"foreground", "#102030ff"}},
                  HVPlistValue::Dictionary{{"id", "b"}, {"background", "#405060ff"}},
                  HVPlistValue::Dictionary{{"id", "e"}, {"bold", true}, {"italic", true}}}));
    HVTheme reread(written);
    EXPECT_EQ(reread.plistRepresentation(), written);
}

TEST(HVTheme, NewThemesCopiesAndEditsMarkModified) {
    HVTheme fresh;
    EXPECT_TRUE(fresh.modified());

    auto theme = HVMakeTestTheme({"comment"});
    auto copy = theme->copy();
    EXPECT_NE(copy->identifier(), theme->identifier());
    EXPECT_EQ(copy->styles(), theme->styles());
    EXPECT_FALSE(copy->modified());

    EXPECT_TRUE(copy->setValue("textColor", "#336699"));
    EXPECT_TRUE(copy->modified());
    EXPECT_EQ(describe(copy->textColor()), "#336699ff");
    EXPECT_TRUE(copy->setValue("selectionColor", HVPlistValue()));
    EXPECT_EQ(copy->selectionColor(), std::nullopt);
    EXPECT_FALSE(copy->setValue("fontSize", "12"));
    EXPECT_FALSE(copy->setValue("title", 12));

    HVTheme styles(theme->plistRepresentation());
    HVAttributes red{{std::string(HVForegroundColorAttribute), HVColor{1, 0, 0, 1}}};
    styles.addStyle("comment", red);
    EXPECT_TRUE(styles.modified()) << "marked even when nothing was added";
    EXPECT_NE(styles.attributesForIdentifier("comment"), red);
    styles.addStyle("keyword", red);
    styles.changeIdentifier("keyword", "keyword.control");
    EXPECT_EQ(styles.styleIdentifiers(), (std::vector<std::string>{"comment", "keyword.control"}));
    styles.changeIdentifier("keyword.control", "");
    EXPECT_EQ(styles.styleIdentifiers(), (std::vector<std::string>{"comment"}));
    styles.changeStyle("comment", red);
    EXPECT_EQ(styles.attributesForIdentifier("comment.block"), red);
    styles.removeStyle("comment");
    EXPECT_TRUE(styles.styles().empty());
}

TEST(HVTheme, CommitWritesOnlyWhenModifiedAndRereads) {
    HVTemporaryDirectory data;
    HVScopedEnvironment dataHome("XDG_DATA_HOME", data.path());
    auto theme = HVMakeTestTheme({"comment", "string"});
    theme->setIdentifier("com.example.mine");
    theme->setValue("backgroundColor", "#fafafa80");
    std::string path = data.path() + "/Halvet/Themes/com.example.mine.plist";
    EXPECT_EQ(theme->filePath(), path);

    HVError error;
    ASSERT_TRUE(theme->commit(&error)) << error.fullDescription();
    EXPECT_FALSE(theme->modified());
    auto reread = HVTheme::initWithContentsOfFile(path);
    EXPECT_EQ(reread->plistRepresentation(), theme->plistRepresentation());
    EXPECT_EQ(describe(reread->backgroundColor()), "#fafafa80");

    // Unmodified: nothing is written, so a file removed meanwhile stays removed.
    HVFileSystem::removeRecursively(path);
    EXPECT_TRUE(theme->commit());
    EXPECT_FALSE(HVFileSystem::exists(path));

    // A write that fails answers false and leaves the theme not modified.
    theme->setTitle("Changed");
    data.write("Halvet/Themes/com.example.mine.plist/blocker", "x");
    EXPECT_FALSE(theme->commit(&error));
    EXPECT_FALSE(error.description().empty());
    EXPECT_FALSE(theme->modified());

    // An identifier cannot lead the file out of the themes folder.
    theme->setIdentifier("../../escape");
    EXPECT_EQ(theme->filePath(), data.path() + "/Halvet/Themes/_._.._escape.plist");
}

TEST(HVThemeRepository, UserCopiesReplaceShippedThemesAndTheListIsSortedByTitle) {
    ThemeWorld world;
    world.shippedTheme("light.plist", themeFile("com.ternwick.halvet.themes.light", "Light"));
    world.shippedTheme("dark.plist", themeFile("com.ternwick.halvet.themes.dark", "dark"));
    world.shippedTheme("zebra.plist", themeFile("z", "Zebra"));
    // The user's copy of the light theme, under another file name, and a theme of their own
    // in a subfolder.
    world.userTheme("my-light.plist",
                    themeFile("com.ternwick.halvet.themes.light", "Light (mine)"));
    world.userTheme("more/amber.plist", themeFile("amber", "amber"));
    world.userTheme("notes.txt", "not a theme");

    HVThemeRepository repository;
    EXPECT_EQ(titles(repository), "amber, dark, Light (mine), Zebra");
    EXPECT_EQ(repository.currentTheme()->title(), "Light (mine)") << "the default current id";
    EXPECT_EQ(repository.objectInThemesAtIndex(9), nullptr);
    EXPECT_TRUE(repository.loadErrors().empty());
    EXPECT_FALSE(repository.modified());
}

TEST(HVThemeRepository, CurrentThemeComesFromPreferencesOrIsTheFirstListed) {
    ThemeWorld world;
    world.shippedTheme("b.plist", themeFile("b", "Beta"));
    world.shippedTheme("a.plist", themeFile("a", "Alpha"));
    auto& store = HVPreferences::sharedInstance();

    store.setObject("HVCurrentThemeID", "b");
    HVThemeRepository chosen;
    EXPECT_EQ(chosen.currentTheme()->identifier(), "b");

    store.setObject("HVCurrentThemeID", "gone");
    HVThemeRepository fallback;
    EXPECT_EQ(fallback.currentTheme()->identifier(), "a");
    EXPECT_EQ(store.stringForKey("HVCurrentThemeID"), "a") << "the fallback is stored";
}

TEST(HVThemeRepository, RemovingHidesTheThemeAtEveryLaterLoad) {
    ThemeWorld world;
    world.shippedTheme("a.plist", themeFile("a", "Alpha"));
    world.shippedTheme("b.plist", themeFile("b", "Beta"));
    world.shippedTheme("c.plist", themeFile("c", "Gamma"));
    HVPreferences::sharedInstance().setObject("HVCurrentThemeID", "a");

    HVThemeRepository repository;
    ASSERT_EQ(repository.currentTheme()->identifier(), "a");
    auto removed = repository.currentTheme();
    repository.removeObjectFromThemesAtIndex(0);
    EXPECT_EQ(titles(repository), "Beta, Gamma");
    EXPECT_EQ(repository.currentTheme()->identifier(), "c") << "the last listed becomes current";
    EXPECT_EQ(removed->title(), "Alpha") << "a parser holding it keeps a valid theme";
    EXPECT_EQ(HVPreferences::sharedInstance().arrayForKey("HVHiddenThemes"),
              (HVPlistValue::Array{"a"}));
    EXPECT_TRUE(HVFileSystem::exists(world.shipped.path() + "/Themes/a.plist"));

    // Removing a theme that is not current leaves the current one.
    repository.removeObjectFromThemesAtIndex(0);
    EXPECT_EQ(repository.currentTheme()->identifier(), "c");
    repository.removeObjectFromThemesAtIndex(5);
    EXPECT_EQ(repository.countOfThemes(), 1u);

    HVThemeRepository later;
    EXPECT_EQ(titles(later), "Gamma");
    later.removeObjectFromThemesAtIndex(0);
    EXPECT_EQ(later.currentTheme(), nullptr);
}

TEST(HVThemeRepository, DuplicateIsAppendedAndWrittenOnCommit) {
    ThemeWorld world;
    world.shippedTheme("dark.plist", themeFile("com.example.dark", "Dark"));
    HVThemeRepository repository;
    auto duplicate = repository.duplicateTheme(*repository.objectInThemesAtIndex(0));
    EXPECT_EQ(duplicate->title(), "Dark copy");
    EXPECT_NE(duplicate->identifier(), "com.example.dark");
    EXPECT_TRUE(repository.modified());

    HVError error;
    ASSERT_TRUE(repository.commit(&error)) << error.fullDescription();
    EXPECT_FALSE(repository.modified());
    std::string path = world.data.path() + "/Halvet/Themes/" + duplicate->identifier() + ".plist";
    ASSERT_TRUE(HVFileSystem::exists(path));
    EXPECT_FALSE(HVFileSystem::exists(world.data.path() + "/Halvet/Themes/com.example.dark.plist"))
        << "unmodified themes are not written";

    HVThemeRepository later;
    EXPECT_EQ(titles(later), "Dark, Dark copy");
    EXPECT_EQ(later.themeWithIdentifier(duplicate->identifier())->styles(), duplicate->styles());
}

TEST(HVThemeRepository, CommitStopsAtTheFirstFailure) {
    ThemeWorld world;
    world.shippedTheme("a.plist", themeFile("a", "Alpha"));
    world.shippedTheme("b.plist", themeFile("b", "Beta"));
    HVThemeRepository repository;
    repository.objectInThemesAtIndex(0)->setTitle("Alpha 2");
    repository.objectInThemesAtIndex(1)->setTitle("Beta 2");
    world.data.write("Halvet/Themes/a.plist/blocker", "x");
    EXPECT_FALSE(repository.commit());
    EXPECT_TRUE(repository.objectInThemesAtIndex(1)->modified()) << "not reached";
    EXPECT_FALSE(HVFileSystem::exists(world.data.path() + "/Halvet/Themes/b.plist"));
}

TEST(HVThemeRepository, UnreadableFilesAreListedUntitledWithAnError) {
    ThemeWorld world;
    world.shippedTheme("a.plist", themeFile("a", "Alpha"));
    world.userTheme("broken.plist", "<plist><dict><key>id</key>");
    world.userTheme("list.plist", "<plist version=\"1.0\"><array/></plist>");
    HVThemeRepository repository;
    EXPECT_EQ(titles(repository), ", , Alpha");
    std::string errors;
    for (const HVError& error : repository.loadErrors())
        errors += error.description() + "\n";
    EXPECT_EQ(repository.loadErrors().size(), 2u) << errors;
    EXPECT_NE(errors.find("dictionary"), std::string::npos) << errors;
    EXPECT_EQ(repository.currentTheme()->identifier().size(), 36u)
        << "no light theme here: the first listed is current";
}
