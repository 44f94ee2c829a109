#include "HVFileCategories.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVPropertyList.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace std::string_view_literals;

// A 1 x 1 PNG.
constexpr std::string_view kPNG =
    "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\rIDATx"
    "\x9c"
    "c\xf8\xff\xff?\0\x05\xfe\x02\xfe\xa7\x35\x81\x84\0\0\0\0IEND\xae"
    "B`\x82"sv;
constexpr std::string_view kHTML = "<!DOCTYPE html>\n<html><head><title>x</title></head>"
                                   "<body><p>Hello</p></body></html>\n";
// "hi\n" in UTF-16, little-endian, with a byte-order mark.
constexpr std::string_view kUTF16 = "\xff\xfeh\0i\0\n\0"sv;
constexpr std::string_view kBinary = "\x7f"
                                     "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\x3e\0"sv;

HVPlistValue::Dictionary definition(std::vector<std::string> types) {
    HVPlistValue::Dictionary dictionary;
    HVPlistValue::Array array;
    for (auto& type : types)
        array.push_back(std::move(type));
    dictionary["types"] = std::move(array);
    return dictionary;
}

// Text categories read in the order Ambiguous, Readme, Style, html, and sorted ignoring case;
// svg is listed by a text and an image category, zip by a text category and as ignorable.
HVPlistValue sampleCategories() {
    HVPlistValue::Dictionary text, image, plist;
    text["Style"] = definition({"css", "less"});
    HVPlistValue::Dictionary html = definition({"html", "htm", "shtml"});
    html["insertWhenDragged"] =
        HVPlistValue::Dictionary{{"tag", "<a href=\"%@\"></a>"}, {"level", 2}};
    text["html"] = html;
    text["Ambiguous"] = definition({"svg"});
    text["Readme"] = definition({"txt", "zip"});
    image["Photos"] = definition({"jpg", "png"});
    image["Vector"] = definition({"svg"});
    plist["Text"] = text;
    plist["Image"] = image;
    plist["Ignorable"] = HVPlistValue::Array{"DMG", "o", "zip"};
    return plist;
}

std::string xmlOf(const HVPlistValue& value) {
    return *HVPropertyList::serialize(value, HVPlistFormat::XML);
}

// "Text: A[x y] B[z] | Image: ... | Ignorable: ...".
std::string describe(HVFileCategories& categories) {
    auto list = [](const std::vector<std::shared_ptr<HVFileCategory>>& categories) {
        std::string text;
        for (const auto& category : categories) {
            text += " " + category->title() + "[";
            std::string types;
            for (const auto& type : category->typeTitles())
                types += (types.empty() ? "" : " ") + type;
            text += types + "]";
        }
        return text;
    };
    std::string ignorable;
    for (const auto& extension : categories.ignoreTypes())
        ignorable += " " + extension;
    return "Text:" + list(categories.textCategories()) +
           " | Image:" + list(categories.imageCategories()) + " | Ignorable:" + ignorable;
}

std::string titleOf(const std::shared_ptr<HVFileCategory>& category) {
    return category ? category->title() : "(none)";
}

// Which kinds, by extension or by path, answer true: "0 2" for text and other.
template <class Query> std::string kinds(Query query) {
    std::string text;
    for (HVFileKind kind :
         {HVFileKindText, HVFileKindImage, HVFileKindOther, HVFileKindIgnorable}) {
        if (query(kind))
            text += (text.empty() ? "" : " ") + std::to_string(int(kind));
    }
    return text.empty() ? "-" : text;
}

struct CategoryEnvironment {
    HVTemporaryDirectory data;
    HVTemporaryDirectory resources;
    HVTemporaryDirectory files;
    HVScopedEnvironment dataHome{"XDG_DATA_HOME", data.path()};
    HVScopedEnvironment resourceDir{"HALVET_RESOURCES_DIR", resources.path()};

    CategoryEnvironment() { writeShipped(xmlOf(sampleCategories())); }
    std::string userPath() const { return data.pathFor("Halvet/data/fileCategories.plist"); }
    std::string writeUser(std::string_view bytes) const {
        return data.write("Halvet/data/fileCategories.plist", bytes);
    }
    std::string writeShipped(std::string_view bytes) const {
        return resources.write("data/fileCategories.plist", bytes);
    }
};

class HVFileCategoriesTest : public ::testing::Test {
protected:
    CategoryEnvironment environment;
    HVFileCategories categories;

    std::string extensionKinds(std::string_view extension) {
        return kinds([&](HVFileKind kind) { return categories.extensionIsType(extension, kind); });
    }
    std::string pathKinds(std::string_view path) {
        return kinds([&](HVFileKind kind) { return categories.pathIsType(path, kind); });
    }
};

} // namespace

TEST_F(HVFileCategoriesTest, LoadingSortsByTitleIgnoringCaseAndTheLastReadListingWins) {
    EXPECT_EQ(describe(categories), "Text: Ambiguous[svg] html[html htm shtml] Readme[txt zip] "
                                    "Style[css less] | Image: Photos[jpg png] Vector[svg] | "
                                    "Ignorable: DMG o zip");
    EXPECT_EQ(categories.loadError(), std::nullopt);
    EXPECT_EQ(titleOf(categories.categoryForExtension("css")), "Style");
    EXPECT_EQ(titleOf(categories.categoryForExtension("svg")), "Vector")
        << "image categories are read after text categories";
    EXPECT_EQ(extensionKinds("svg"), "1");
    auto html = categories.categoryForTitle("HTML");
    ASSERT_TRUE(html);
    EXPECT_EQ(html->title(), "html");
    EXPECT_TRUE(categories.extensionIsCategory("htm", html));
}

TEST_F(HVFileCategoriesTest, KindsOfExtensionsAreCaseSensitive) {
    // No extension is of no kind; one listed by a text category and ignorable is ignorable.
    std::string table;
    for (std::string extension :
         {"html", "png", "o", "xyz", "", "zip", "HTML", "Png", "DMG", "dmg"})
        table += extension + "=" + extensionKinds(extension) + " ";
    EXPECT_EQ(table, "html=0 png=1 o=3 xyz=2 =- zip=3 HTML=2 Png=2 DMG=3 dmg=2 ");
    EXPECT_EQ(categories.categoryForExtension("zip"), nullptr) << "ignorable wins";
}

TEST_F(HVFileCategoriesTest, UnknownExtensionsAreJudgedByTheFileProgramAndRemembered) {
    const auto& files = environment.files;
    std::string notes = files.write("notes.qqtext", "Just some words.\n");
    std::string picture = files.write("picture.qqimage", kPNG);
    std::string blank = files.write("blank.qqempty", "");
    std::string wide = files.write("wide.qqutf16", kUTF16);
    std::string binary = files.write("tool.qqbin", kBinary);

    EXPECT_EQ(categories.descriptionForPath(notes), "ASCII text");
    EXPECT_EQ(categories.descriptionForPath(blank), "empty");
    EXPECT_EQ(categories.descriptionForPath(files.pathFor("missing.txt")), std::nullopt);
    EXPECT_EQ(categories.descriptionForPath(""), std::nullopt);

    EXPECT_TRUE(categories.pathIsText(notes));
    EXPECT_TRUE(categories.pathIsImage(picture));
    EXPECT_TRUE(categories.pathIsText(blank)) << "an empty file counts as text";
    EXPECT_TRUE(categories.pathIsText(wide)) << "UTF-16 is text";
    EXPECT_FALSE(categories.pathIsText(binary));
    EXPECT_EQ(categories.fileProgramError(), std::nullopt);

    // Later paths with the same extension are answered from memory: these do not even exist.
    EXPECT_TRUE(categories.pathIsText(files.pathFor("other.qqtext")));
    EXPECT_TRUE(categories.pathIsImage(files.pathFor("other.qqimage")));
    // A missing file teaches nothing, so a real one with a new extension is still asked about.
    EXPECT_FALSE(categories.pathIsText(files.pathFor("ghost.qqlater")));
    EXPECT_TRUE(categories.pathIsText(files.write("real.qqlater", "now here\n")));
    // A folder is neither, and its extension is not remembered.
    HVFileSystem::createDirectory(files.pathFor("assets.qqdir"));
    EXPECT_FALSE(categories.pathIsText(files.pathFor("assets.qqdir")));
    EXPECT_TRUE(categories.pathIsText(files.write("plain.qqdir", "text\n")));
}

TEST_F(HVFileCategoriesTest, KindsOfPaths) {
    const auto& files = environment.files;
    // By extension alone where listed (these files do not exist); a leading dot starts no
    // extension. An unlisted extension is "other" even when the content is text, so the user is
    // asked; a listed image is text only if its content says so; a capitalised name is judged
    // by its content.
    for (auto [path, kinds] : {std::pair{std::string("/site/index.html"), "0"},
                               {"/site/logo.png", "1"},
                               {"/site/archive.zip", "3"},
                               {"/site/.htaccess", "-"},
                               {files.write("notes.qqtext", "words\n"), "0 2"},
                               {files.write("photo.jpg", "not really a JPEG, just text\n"), "0 1"},
                               {files.write("INDEX.HTML", kHTML), "0 2"},
                               {files.write("PHOTO.PNG", kPNG), "1 2"}})
        EXPECT_EQ(pathKinds(path), kinds) << path;
    EXPECT_FALSE(categories.pathIsType("/site/index.html", HVFileKind(9)));

    // A path without an extension is asked about every time.
    std::string license = files.write("LICENSE", "Permission is hereby granted.\n");
    EXPECT_EQ(pathKinds(license), "0");
    files.write("LICENSE", kPNG);
    EXPECT_EQ(pathKinds(license), "1") << "kind 2 is false without an extension";
}

TEST_F(HVFileCategoriesTest, AMissingOrFailingFileProgramFallsBackToTheFirstBytes) {
    const auto& files = environment.files;
    std::string notes = files.write("notes.qqa", "Just some words.\n");

    categories.setFileProgram(files.pathFor("no-such-program"));
    EXPECT_EQ(categories.descriptionForPath(notes), "ASCII text");
    auto error = categories.fileProgramError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description(), "The kind of the file \"" + notes +
                                        "\" could not be learnt from \"" +
                                        files.pathFor("no-such-program") + "\".");
    EXPECT_NE(error->recoverySuggestion().find("judged the file by its first bytes"),
              std::string::npos)
        << error->recoverySuggestion();
    // The verdicts then are the stand-in's, which agree with the program's (tested below).
    EXPECT_TRUE(categories.pathIsText(notes));

    HVFileCategories failing;
    failing.setFileProgram("/bin/false");
    EXPECT_TRUE(failing.pathIsImage(files.write("again.qqe", kPNG)));
    ASSERT_TRUE(failing.fileProgramError());
    EXPECT_NE(failing.fileProgramError()->recoverySuggestion().find("ended with status 1"),
              std::string::npos);
}

TEST(HVFileCategories, TheStandInClassificationAgreesWithTheFileProgram) {
    HVTemporaryDirectory files;
    HVFileCategories categories;
    const std::vector<std::pair<std::string, std::string>> samples = {
        {"utf8", "Gr\xc3\xbc\xc3\x9f"
                 "e aus K\xc3\xb6ln\n"},
        {"latin1", "caf\xe9 cr\xe8me\n"},
        {"c1", "caf\x85 \x93quoted\x94\n"},
        {"escape", "bold \x1b[1mtext\x1b[0m\n"},
        {"utf16be", std::string("\xfe\xff\0h\0i\0\n"sv)},
        {"png", std::string(kPNG)},
        {"gif", std::string("GIF89a\x01\0\x01\0\x80\0\0\0\0\0\xff\xff\xff!\xf9\x04\x01\0\0\0\0,"
                            "\0\0\0\0\x01\0\x01\0\0\x02\x02"
                            "D\x01\0;"sv)},
        {"jpeg", std::string("\xff\xd8\xff\xe0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0\xff\xd9"sv)},
        {"webp", std::string("RIFF\x1a\0\0\0WEBPVP8L\x0d\0\0\0/\0\0\0\x10\x07\x10\x11\x11\x88"
                             "\x88\xfe\x07\0"sv)},
        {"tiff", std::string("II*\0\x08\0\0\0\0\0\0\0\0\0\0\0"sv)},
        {"pdf", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\n"},
        {"elf", std::string(kBinary)},
        {"empty", ""},
    };
    std::string differences;
    for (const auto& [name, bytes] : samples) {
        std::string path = files.write("sample." + name, bytes);
        auto real = categories.descriptionForPath(path);
        ASSERT_TRUE(real) << name;
        std::string standIn = HVFileCategories::descriptionForContents(bytes);
        auto verdict = [](const std::string& description) {
            return std::string(HVFileCategories::descriptionIsText(description) ? "text" : "") +
                   (HVFileCategories::descriptionIsImage(description) ? "image" : "");
        };
        if (verdict(*real) != verdict(standIn))
            differences += name + ": \"" + *real + "\" but \"" + standIn + "\"\n";
    }
    EXPECT_EQ(categories.fileProgramError(), std::nullopt);
    EXPECT_EQ(differences, "");
}

TEST_F(HVFileCategoriesTest, EditingTypesKeepsTheExtensionMapCurrent) {
    auto style = categories.categoryForTitle("Style");
    ASSERT_TRUE(style);
    EXPECT_TRUE(style->addType("scss"));
    EXPECT_TRUE(style->addType(".Sass "));
    EXPECT_TRUE(style->addType("CSS")) << "differs in case, so it is another extension";
    EXPECT_FALSE(style->addType("css")) << "listed exactly already";
    EXPECT_FALSE(style->addType(" . "));
    EXPECT_EQ(style->typeTitles(),
              (std::vector<std::string>{"css", "CSS", "less", "Sass", "scss"}));
    EXPECT_EQ(titleOf(categories.categoryForExtension("Sass")), "Style");
    EXPECT_EQ(extensionKinds("CSS"), "0");

    EXPECT_TRUE(style->insertObject("pcss", 0));
    EXPECT_TRUE(style->insertObject(HVFileCategoryType::typeWithTitle("styl"), 1));
    EXPECT_FALSE(style->insertObject("x", 99));
    EXPECT_EQ(style->objectInTypesAtIndex(1)->parent(), style) << "a given type joins the category";
    EXPECT_EQ(titleOf(categories.categoryForExtension("styl")), "Style");

    EXPECT_TRUE(style->replaceObjectInTypesAtIndex(0, "postcss"));
    EXPECT_EQ(categories.categoryForExtension("pcss"), nullptr);
    EXPECT_EQ(titleOf(categories.categoryForExtension("postcss")), "Style");
    EXPECT_FALSE(style->replaceObjectInTypesAtIndex(0, "less")) << "already listed";

    EXPECT_TRUE(style->removeObjectFromTypes("SASS")) << "found ignoring case";
    EXPECT_TRUE(style->removeObjectFromTypes("CSS")) << "the exact spelling goes first";
    EXPECT_EQ(style->typeTitles(),
              (std::vector<std::string>{"postcss", "styl", "css", "less", "scss"}));
    EXPECT_EQ(categories.categoryForExtension("Sass"), nullptr);
    EXPECT_EQ(categories.categoryForExtension("CSS"), nullptr);
    EXPECT_TRUE(style->removeObjectFromTypesAtIndex(2));
    EXPECT_EQ(extensionKinds("css"), "2");

    // Another category that lists the extension takes it over.
    auto vector = categories.categoryForTitle("Vector");
    EXPECT_TRUE(vector->removeObjectFromTypes("svg"));
    EXPECT_EQ(titleOf(categories.categoryForExtension("svg")), "Ambiguous");
    EXPECT_EQ(extensionKinds("svg"), "0");
}

TEST_F(HVFileCategoriesTest, AddingAndRemovingCategoriesAndIgnorableTypes) {
    auto icons = categories.addCategoryWithTitle("icons", HVFileKindImage);
    ASSERT_TRUE(icons);
    EXPECT_TRUE(icons->addType("ico"));
    auto markup = categories.addCategoryWithTitle("Markdown", HVFileKindText);
    ASSERT_TRUE(markup);
    EXPECT_EQ(categories.addCategoryWithTitle("Other", HVFileKindOther), nullptr);
    EXPECT_EQ(categories.addCategoryWithTitle("Skip", HVFileKindIgnorable), nullptr);
    EXPECT_EQ(categories.addCategoryWithTitle("STYLE", HVFileKindText), nullptr) << "title taken";
    EXPECT_EQ(categories.addCategoryWithTitle("", HVFileKindText), nullptr);
    EXPECT_EQ(describe(categories), "Text: Ambiguous[svg] html[html htm shtml] Markdown[] "
                                    "Readme[txt zip] Style[css less] | Image: icons[ico] "
                                    "Photos[jpg png] Vector[svg] | Ignorable: DMG o zip");

    EXPECT_FALSE(markup->setTitle("html"));
    EXPECT_TRUE(markup->setTitle("Zettel"));
    EXPECT_EQ(titleOf(categories.textCategories().back()), "Zettel") << "the list stays sorted";

    categories.removeCategory(icons, HVFileKindText);
    EXPECT_EQ(categories.imageCategories().size(), 3u) << "not in the text list: nothing happens";
    categories.removeCategory(icons, HVFileKindImage);
    EXPECT_EQ(categories.imageCategories().size(), 2u);
    EXPECT_EQ(categories.categoryForExtension("ico"), nullptr);
    EXPECT_TRUE(icons->addType("cur")) << "a removed category no longer feeds the map";
    EXPECT_EQ(categories.categoryForExtension("cur"), nullptr);

    EXPECT_TRUE(categories.addIgnorableType(".psd"));
    EXPECT_FALSE(categories.addIgnorableType("psd"));
    EXPECT_FALSE(categories.addIgnorableType(""));
    EXPECT_EQ(categories.ignoreTypes(), (std::vector<std::string>{"DMG", "o", "psd", "zip"}));
    EXPECT_TRUE(categories.addIgnorableType("css"));
    EXPECT_EQ(categories.categoryForExtension("css"), nullptr);
    EXPECT_TRUE(categories.removeIgnorableType("css"));
    EXPECT_EQ(titleOf(categories.categoryForExtension("css")), "Style");
}

TEST_F(HVFileCategoriesTest, CommitWritesBackWhatWasReadAndPostsTheChange) {
    std::vector<const void*> posts;
    HVScopedObserver observer(HVNotificationCenter::defaultCenter(),
                              HVNotificationCenter::defaultCenter().addObserver(
                                  "HVFileCategoriesChangedNotification", nullptr,
                                  [&](const HVNotification& n) { posts.push_back(n.object); }));
    EXPECT_EQ(categories.plistRepresentation(), sampleCategories())
        << "every definition, insertWhenDragged included, is written back unchanged";

    categories.categoryForTitle("Photos")->addType("webp");
    categories.addIgnorableType("exe");
    HVError error;
    ASSERT_TRUE(categories.commit(&error)) << error.fullDescription();
    EXPECT_EQ(posts, (std::vector<const void*>{&categories}));
    EXPECT_EQ(HVReadFile(environment.userPath()).rfind("<?xml", 0), 0u) << "written as XML";

    HVFileCategories reread;
    EXPECT_EQ(reread.plistRepresentation(), categories.plistRepresentation());

    // A reload reads the file anew, but what "file" said is remembered.
    std::string notes = environment.files.write("notes.qqtext", "words\n");
    EXPECT_TRUE(reread.pathIsText(notes));
    environment.writeUser(xmlOf(HVPlistValue::Dictionary{}));
    EXPECT_TRUE(reread.loadCategories());
    EXPECT_EQ(describe(reread), "Text: | Image: | Ignorable:");
    EXPECT_TRUE(reread.pathIsText(environment.files.pathFor("gone.qqtext")));
}

TEST_F(HVFileCategoriesTest, AnUnreadableUserCopyFallsBackToTheShippedCategoriesAndIsKept) {
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>Text</key><dict>";
    std::string user = environment.writeUser(garbage);
    HVError error;
    EXPECT_FALSE(categories.loadCategories(&error));
    EXPECT_EQ(error.description(), "The file categories in \"" + user + "\" cannot be read.");
    EXPECT_NE(error.recoverySuggestion().find("The file categories shipped with Halvet are used"),
              std::string::npos)
        << error.recoverySuggestion();
    EXPECT_EQ(extensionKinds("html"), "0") << "the shipped categories answer";
    EXPECT_EQ(HVReadFile(user), garbage);

    ASSERT_TRUE(categories.commit());
    EXPECT_EQ(HVReadFile(user + ".unreadable"), garbage);
    EXPECT_EQ(HVPropertyList::readFromFile(user), sampleCategories());

    // With no usable copy at all there are no categories, and every answer is still given.
    environment.writeShipped("not a property list");
    environment.writeUser(xmlOf(HVPlistValue::Array{}));
    EXPECT_FALSE(categories.loadCategories(&error));
    EXPECT_NE(error.recoverySuggestion().find("No file categories are available"),
              std::string::npos)
        << error.recoverySuggestion();
    EXPECT_EQ(describe(categories), "Text: | Image: | Ignorable:");
    EXPECT_EQ(extensionKinds("html"), "2");
}

TEST_F(HVFileCategoriesTest, PartlyUnreadableContentIsReportedAndTheRestUsed) {
    HVPlistValue plist = sampleCategories();
    auto& dictionary = *plist.dictionary();
    (*dictionary["Text"].dictionary())["Broken"] = HVPlistValue("not a definition");
    (*dictionary["Text"].dictionary())["Odd"] =
        HVPlistValue(HVPlistValue::Dictionary{{"types", HVPlistValue::Array{"md", 3, ""}}});
    dictionary["Image"] = HVPlistValue::Array{"png"};
    dictionary["Ignorable"] = HVPlistValue::Array{"zip", HVPlistValue(true)};
    std::string bytes = xmlOf(plist);
    std::string user = environment.writeUser(bytes);

    HVError error;
    EXPECT_FALSE(categories.loadCategories(&error));
    EXPECT_EQ(error.description(),
              "Some of the file categories in \"" + user + "\" cannot be read.");
    EXPECT_EQ(error.recoverySuggestion(),
              "The category \"Broken\" is not entirely readable. Its definition is not a "
              "dictionary. The category \"Odd\" is not entirely readable. Type 2 is not an "
              "extension. Type 3 is not an extension. \"Image\" is not a dictionary. An ignorable "
              "extension is not an extension. The rest are used. Your file is kept as \"" +
                  user + ".unreadable\" when the file categories are next saved.");
    EXPECT_EQ(describe(categories), "Text: Ambiguous[svg] Broken[] html[html htm shtml] Odd[md] "
                                    "Readme[txt zip] Style[css less] | Image: | Ignorable: zip");
    ASSERT_TRUE(categories.commit());
    EXPECT_EQ(HVReadFile(user + ".unreadable"), bytes);
}

TEST_F(HVFileCategoriesTest, QueriesAndEditsFromSeveralThreads) {
    // Run under the sanitizers, this catches unguarded state between a search thread's
    // queries and the preferences' edits.
    std::string notes = environment.files.write("notes.qqtext", "words\n");
    std::atomic<bool> stop{false};
    std::atomic<int> answers{0};
    std::thread reader([&] {
        do {
            if (categories.pathIsType("/a/b.html", HVFileKindText) &&
                categories.pathIsText(notes) && !categories.extensionIsType("zip", HVFileKindText))
                ++answers;
            categories.categoryForExtension("css");
            categories.ignoreTypes();
        } while (!stop);
    });
    auto style = categories.categoryForTitle("Style");
    for (int i = 0; i < 300; ++i) {
        style->addType("x" + std::to_string(i));
        categories.addIgnorableType("y" + std::to_string(i));
        if (i % 3 == 0)
            style->removeObjectFromTypes("x" + std::to_string(i / 2));
        auto added = categories.addCategoryWithTitle("T" + std::to_string(i), HVFileKindText);
        categories.removeCategory(added, HVFileKindText);
    }
    stop = true;
    reader.join();
    EXPECT_GT(answers.load(), 0);
    EXPECT_EQ(titleOf(categories.categoryForExtension("x299")), "Style");
}

TEST(HVFileCategories, DescriptionWordsThatMakeTextAndImages) {
    auto verdicts = [](std::vector<std::string_view> descriptions) {
        std::string text;
        for (auto description : descriptions) {
            text += std::string(HVFileCategories::descriptionIsText(description) ? "T" : "-") +
                    (HVFileCategories::descriptionIsImage(description) ? "I" : "-") + " ";
        }
        return text;
    };
    EXPECT_EQ(verdicts({"ISO-8859 TEXT", "Unicode", "EMPTY", "JPEG image data, JFIF standard",
                        "SVG Scalable Vector Graphics image", "data", "directory",
                        "very short file (no magic)", "MS Windows icon resource"}),
              "T- T- T- -I -I -- -- -- -- ");
}
