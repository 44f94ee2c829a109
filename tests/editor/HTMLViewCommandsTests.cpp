#include "HTMLView.h"

#include "HVDispatcher.h"
#include "HVEditorTestSupport.h"
#include "HVFileEncodings.h"
#include "HVPlistValue.h"
#include "HVPreferences.h"
#include "HVScriptedUserInterface.h"
#include "HVSpecialCharacters.h"
#include "HVTestSupport.h"
#include "HVTextBuffer.h"
#include "HVUndoManager.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class ErrorLog : public HTMLViewInterfaceDelegate {
public:
    void htmlViewHadError(HTMLView&, const HVError& error, bool critical) override {
        errors.push_back(error.description() + (critical ? " (critical)" : ""));
    }
    std::vector<std::string> errors;
};

class Commands : public ::testing::Test {
protected:
    void SetUp() override { HVDispatcher::main().adoptCurrentThread(); }

    std::unique_ptr<HTMLView> open(std::u16string_view text, std::optional<std::string> path) {
        return HVOpenView(text, path);
    }
    std::string page() const { return dir.pathFor("site/page.html"); }

    HVEditorTestEnvironment environment;
    HVTemporaryDirectory dir;
    std::shared_ptr<HVScriptedUserInterface> ui = HVScriptedUserInterface::install();
};

HVPlistValue entry(const char* appearance, const char* value) {
    return HVPlistValue::Dictionary{{"appearance", appearance}, {"value", value}};
}

} // namespace

TEST(HVSpecialCharacters, TheMapSkipsAccentsAndEmptiesAndKeepsTheLastEntryOfACharacter) {
    HVError error;
    auto none = HVSpecialCharacters::fromPropertyList(HVPlistValue::Array{}, &error);
    EXPECT_EQ(none.groups().size(), 0u);
    EXPECT_EQ(error.description(), "The special characters list is damaged: it is not a "
                                   "dictionary.");

    error = {};
    auto characters = HVSpecialCharacters::fromPropertyList(
        HVPlistValue::Dictionary{
            {"Accents", HVPlistValue::Array{entry("\u00B4", "&acute;")}},
            {"Broken", "not a list"},
            {"Letters", HVPlistValue::Array{entry("\u00E9", "&eacute;"), entry("", "&empty;"),
                                            entry("\u00E8", ""), 42, entry("\u00E9", "&#233;")}},
            {"Symbols", HVPlistValue::Array{entry("\u00A9", "&copy;")}},
        },
        &error);
    EXPECT_EQ(error.description(),
              "The special characters list is damaged: the group \"Broken\" is not a list.");
    std::vector<std::string> names;
    for (const auto& group : characters.groups())
        names.push_back(group.name + ":" + std::to_string(group.entries.size()));
    EXPECT_EQ(names, (std::vector<std::string>{"Accents:1", "Letters:2", "Symbols:1"}));
    EXPECT_EQ(characters.count(), 2u);
    EXPECT_EQ(*characters.entityForCharacter(u"\u00E9"), u"&#233;");
    EXPECT_EQ(characters.entityForCharacter(u"\u00B4"), nullptr) << "accents only in the menu";
}

TEST(HVSpecialCharacters, TheShippedListHasNamedEntitiesAndLeavesMarkupCharactersAlone) {
    HVEditorTestEnvironment environment;
    HVError error;
    auto characters = HVSpecialCharacters::load(&error);
    EXPECT_EQ(error.code(), 0) << error.description();
    ASSERT_EQ(characters.groups().size(), 7u);
    EXPECT_EQ(characters.count(), 122u);
    const std::pair<std::u16string, std::u16string> samples[] = {
        {u"\u00E9", u"&eacute;"}, {u"\u00FF", u"&yuml;"},  {u"\u2014", u"&mdash;"},
        {u"\u20AC", u"&euro;"},   {u"\u00A0", u"&nbsp;"},  {u"\u21D4", u"&hArr;"},
        {u"\u00D7", u"&times;"},  {u"\u2033", u"&Prime;"},
    };
    for (const auto& [character, entity] : samples) {
        const std::u16string* found = characters.entityForCharacter(character);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(*found, entity);
    }
    for (const char16_t* markup : {u"<", u">", u"&", u"\""})
        EXPECT_EQ(characters.entityForCharacter(markup), nullptr);
}

TEST_F(Commands, ATypedCharacterBecomesItsEntityAndOneUndoBringsItBack) {
    auto view = open(u"x", page());
    view->setSelectedRange({1, 0});
    view->insertText(u"\u00E9");
    view->replaceTypedCharacterEntity();
    EXPECT_EQ(view->string(), u"x&eacute;");
    EXPECT_EQ(view->undoManager().undoActionName(), "Replace Character Entity");
    view->undo();
    EXPECT_EQ(view->string(), u"x\u00E9");

    // Inside a script of the page, and in a file that is not markup, "é" stays.
    for (auto [text, path] :
         {std::pair{u"<script>x</script>", page()}, std::pair{u"x", dir.pathFor("site/code.py")}}) {
        auto other = open(text, path);
        other->setSelectedRange({std::u16string_view(text).find(u'x') + 1, 0});
        other->insertText(u"\u00E9");
        EXPECT_NE(other->string().find(u"x\u00E9"), std::u16string::npos) << path;
    }

    HVPreferences::sharedInstance().setObject("HVAutoSpecChars", false);
    view->setSelectedRange({2, 0});
    view->insertText(u"\u00E9");
    EXPECT_FALSE(view->replaceTypedCharacterEntity());
    EXPECT_EQ(view->string(), u"x\u00E9\u00E9");
}

TEST_F(Commands, ConvertingEntitiesExpandsCollapsedRegionsAndMovesTheCaret) {
    auto view = open(u"a {\n\u00A9\n}\n\u00A9 b", "entities.tscript");
    view->setSelectedRange({5, 0});
    ASSERT_TRUE(view->foldCurrentBlock());
    ASSERT_EQ(view->string(), u"a {\uFFFC}\n\u00A9 b");
    view->setSelectedRange({view->string().find(u" b"), 1});

    view->convertCharacterEntitiesToHTML();
    std::u16string converted = u"a {\n&copy;\n}\n&copy; b";
    EXPECT_EQ(view->string(), converted);
    EXPECT_EQ(view->selectedRange(), (HVRange{converted.find(u" b"), 1}));
    EXPECT_EQ(view->undoManager().undoActionName(), "Replace Character Entities");
    view->undo();
    EXPECT_EQ(view->string(), u"a {\uFFFC}\n\u00A9 b") << "the region comes back collapsed";

    view->setString(u"plain");
    view->convertCharacterEntitiesToHTML();
    EXPECT_EQ(view->undoManager().undoCount(), 0u) << "nothing to convert, no step";
}

TEST_F(Commands, EachCommandMakesItsTextSelectionAndUndoStep) {
    std::string images = dir.pathFor("site/images/a.png");
    struct Case {
        const char* name;
        std::u16string text;
        HVRange selection;
        std::function<void(HTMLView&)> command;
        std::u16string result;
        HVRange selectionAfter;
        std::string action;
    } cases[] = {
        {"entity",
         u"ab",
         {1, 0},
         [](HTMLView& v) { v.insertSpecialCharacter(u"&copy;"); },
         u"a&copy;b",
         {7, 0},
         "Insert Character Entity"},
        {"strong",
         u"say hi",
         {4, 2},
         [](HTMLView& v) { v.formatText(4); },
         u"say <strong>hi</strong>",
         {4, 19},
         "Format Text"},
        {"em",
         u"say hi",
         {4, 2},
         [](HTMLView& v) { v.formatText(5); },
         u"say <em>hi</em>",
         {4, 11},
         "Format Text"},
        {"underline of nothing",
         u"",
         {0, 0},
         [](HTMLView& v) { v.formatText(6); },
         u"<u></u>",
         {0, 7},
         "Format Text"},
        {"unknown tag",
         u"say hi",
         {4, 2},
         [](HTMLView& v) { v.formatText(7); },
         u"say hi",
         {4, 2},
         ""},
        {"link",
         u"see x.html!",
         {4, 6},
         [](HTMLView& v) { v.makeLink(); },
         u"see <a href=\"x.html\">x.html</a>!",
         {31, 0},
         "Make Link"},
        {"link without selection",
         u"see",
         {3, 0},
         [](HTMLView& v) { v.makeLink(); },
         u"see",
         {3, 0},
         ""},
        {"path",
         u"",
         {0, 0},
         [&](HTMLView& v) { v.insertPathToFile(images); },
         u"images/a.png",
         {12, 0},
         "Insert Path"},
    };
    for (const Case& c : cases) {
        auto view = open(c.text, page());
        view->setSelectedRange(c.selection);
        c.command(*view);
        EXPECT_EQ(view->string(), c.result) << c.name;
        EXPECT_EQ(view->selectedRange(), c.selectionAfter) << c.name;
        EXPECT_EQ(view->undoManager().undoActionName(), c.action) << c.name;
    }
    auto untitled = open(u"", std::nullopt);
    untitled->insertPathToFile("/srv/www/a.png");
    EXPECT_EQ(untitled->string(), u"/srv/www/a.png") << "an untitled document has no folder";
}

TEST_F(Commands, AnImageElementHasTheSizeAndClosesAsTheDocumentTypeSays) {
    std::string gif = "GIF89a";
    gif += std::string("\x03\x00\x02\x00\x80\x00\x00", 7);
    std::string image = dir.write("site/images/pic.gif", gif);
    std::string broken = dir.write("site/images/broken.png", "not a png");
    std::u16string xhtml = u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\">\n";
    std::u16string html = u"<!doctype html>\n";
    struct Case {
        std::u16string text;
        bool xhtmlPreference;
        std::string file;
        std::u16string element;
    } cases[] = {
        {xhtml, false, image,
         u"<img src=\"images/pic.gif\" alt=\"pic\" width=\"3\" height=\"2\" />"},
        {html, true, image, u"<img src=\"images/pic.gif\" alt=\"pic\" width=\"3\" height=\"2\">"},
        {u"", true, image, u"<img src=\"images/pic.gif\" alt=\"pic\" width=\"3\" height=\"2\" />"},
        {u"", false, broken, u"<img src=\"images/broken.png\" alt=\"broken\">"},
    };
    for (const Case& c : cases) {
        HVPreferences::sharedInstance().setObject("HVXHTMLTags", c.xhtmlPreference);
        auto view = open(c.text, page());
        view->setSelectedRange({c.text.size(), 0});
        ui->openPanelAnswers.push_back({c.file});
        view->insertImage();
        EXPECT_EQ(view->string().substr(c.text.size()), c.element);
        EXPECT_EQ(view->undoManager().undoActionName(), "Insert Image");
    }
}

TEST_F(Commands, ContentsOfAFileAreDecodedAndAnUnreadableOneIsReported) {
    std::u16string russian = u"\u041F\u0440\u0438\u0432\u0435\u0442\r\n\u043C\u0438\u0440";
    HVStringEncoding utf16 = HVUnicodeStringEncoding;
    std::string file =
        dir.write("site/ru.txt", *HVFileEncodings::dataUsingEncoding(russian, utf16));
    auto view = open(u"[]", page());
    ErrorLog log;
    view->setInterfaceDelegate(&log);
    view->setSelectedRange({1, 0});
    ui->openPanelAnswers.push_back({file});
    view->insertContentsOfFile();
    EXPECT_EQ(view->string(), u"[\u041F\u0440\u0438\u0432\u0435\u0442\n\u043C\u0438\u0440]");
    EXPECT_EQ(view->undoManager().undoActionName(), "Insert Contents of File");

    view->insertContentsOfFile(dir.pathFor("site/missing.txt"));
    EXPECT_EQ(view->string().size(), 12u) << "nothing inserted";
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_TRUE(log.errors[0].ends_with("(critical)")) << log.errors[0];
}

TEST_F(Commands, MenuItemsFollowUndoTheSelectionAndWhetherTheTextCanChange) {
    auto view = open(u"say hi", page());
    std::string title;
    EXPECT_FALSE(view->validateMenuItem("undo:", &title));
    EXPECT_EQ(title, "Undo");
    view->setSelectedRange({4, 2});
    view->formatText(5);
    EXPECT_TRUE(view->validateMenuItem("undo:", &title));
    EXPECT_EQ(title, "Undo Format Text");
    EXPECT_FALSE(view->validateMenuItem("redo:", &title));
    EXPECT_EQ(title, "Redo");

    view->setSelectedRange({0, 0});
    for (const char* action : {"makeLink:", "addSelectionAsSnippet:"})
        EXPECT_FALSE(view->validateMenuItem(action)) << action;
    EXPECT_TRUE(view->validateMenuItem("formatText:"));
    view->setSelectedRange({0, 3});
    for (const char* action : {"makeLink:", "addSelectionAsSnippet:", "formatText:"})
        EXPECT_TRUE(view->validateMenuItem(action)) << action;

    view->setEditable(false);
    for (const char* action : {"makeLink:", "formatText:", "insertImage:", "undo:"})
        EXPECT_FALSE(view->validateMenuItem(action)) << action;
    EXPECT_TRUE(view->validateMenuItem("addSelectionAsSnippet:"));
}
