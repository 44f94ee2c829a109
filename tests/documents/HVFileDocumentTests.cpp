#include "HTMLView.h"
#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVClipboard.h"
#include "HVCodeIndex.h"
#include "HVDocumentsTestSupport.h"
#include "HVFile.h"
#include "HVFileSystem.h"
#include "HVLineNumberingRulerView.h"
#include "HVParser.h"
#include "HVTextBuffer.h"

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A tabbed window with one file open in it, the way the dispatcher makes one.
struct OpenFile {
    std::shared_ptr<HVMultiFileDocument> window = std::make_shared<HVMultiFileDocument>();
    HVFileDocument* document = nullptr;
    HVError error;

    explicit OpenFile(const std::string& path) { document = window->openFileAtPath(path, &error); }
    HVRecordingStatusBar& statusBar() { return window->windowController().recordingStatusBar(); }
    // Saves in place and answers the file's bytes afterwards.
    std::string save() {
        document->saveDocument();
        return HVReadFile(document->fileName());
    }
};

} // namespace

using FileDocument = HVDocumentsTest;

TEST_F(FileDocument, AnOpenedFileKeepsItsOwnLineBreaksAndNewTextTakesThem) {
    // The preference names the type of new documents only.
    setPreference("HVLineBreak", 1);
    setPreference("HVTabSizeKey", 2);
    HVMemoryClipboard clipboard;
    clipboard.setString(u"p1\np2\rp3\r\n");
    for (auto [bytes, name, br] :
         {std::tuple{"a\r\nb\r\n", "DOS", "\r\n"}, std::tuple{"a\nb\n", "Unix", "\n"},
          std::tuple{"a\rb\r", "Mac", "\r"}}) {
        OpenFile open(dir.write(std::string(name) + ".txt", bytes));
        EXPECT_EQ(open.document->lineBreakName(), name);
        HVTextViewModel* view = open.document->textView();
        view->setClipboard(&clipboard);
        // Return, a paste and typed text with breaks, then an outdent of two columns.
        view->setSelectedRange({view->string().size(), 0});
        view->doCommandBySelector("insertNewline:");
        view->insertText(u"    x\ny");
        view->doCommandBySelector("paste:");
        view->setSelectedRange({view->string().find(u"    x"), 0});
        view->doCommandBySelector("insertBacktab:");
        std::string b = br;
        EXPECT_EQ(open.save(), "a" + b + "b" + b + b + "  x" + b + "yp1" + b + "p2" + b + "p3" + b)
            << name;
    }
    // A file without breaks takes the preference.
    setPreference("HVLineBreak", 2);
    OpenFile open(dir.write("one-line.txt", "a"));
    EXPECT_EQ(open.document->lineBreakName(), "DOS");
    type(open.document, u"\nb");
    EXPECT_EQ(open.save(), "a\r\nb");
}

TEST_F(FileDocument, OpeningAndSavingChangesNoByte) {
    std::vector<std::pair<std::string, std::string>> files = {
        {"bom.txt", "\xEF\xBB\xBFhello\r\n"},
        {"little.txt", std::string("\xFF\xFEh\0i\0\r\0\n\0", 10)},
        {"big.txt", std::string("\xFE\xFF\0h\0i\0\r\0\n", 10)},
        {"mixed.txt", "a\rb\r\nc\nd"},
        {"latin.txt", "caf\xE9\n"},
        {"binary.dat", std::string("\x7F"
                                   "ELF\0\x01\xFF\xFE\r\n",
                                   11)},
        {"empty.txt", ""}};
    for (const auto& path : HVFileSystem::listRecursively(HVTestDataPath("encodings"))) {
        if (HVFileSystem::pathExtension(path) == "txt")
            files.push_back({HVFileSystem::lastPathComponent(path), HVReadFile(path)});
    }
    for (const auto& [name, bytes] : files) {
        OpenFile open(dir.write("round/" + name, bytes));
        ASSERT_NE(open.document, nullptr) << name;
        EXPECT_EQ(open.save(), bytes) << name;
    }
}

TEST_F(FileDocument, AFileWithMixedBreaksIsLeftAsItIsUntilTheUserChoosesAType) {
    std::string bytes = "1\r\n2\n3\r\n4\r5\r\n";
    OpenFile open(dir.write("mixed.txt", bytes));
    EXPECT_EQ(open.document->lineBreakName(), "Mixed");
    EXPECT_EQ(open.statusBar().lineBreakName, "Mixed");
    EXPECT_EQ(open.statusBar().warning, "Mixed line breaks (1 Unix, 3 DOS, 1 Mac), kept as they "
                                        "are: click \u201CMixed\u201D to choose one type.");
    // An edit elsewhere leaves every break alone; a new line takes the commonest kind.
    type(open.document, u"6\n");
    EXPECT_EQ(open.save(), bytes + "6\r\n");

    HVTextViewModel* view = open.document->textView();
    view->setLineBreakType(HVLineBreaks::Unix);
    EXPECT_EQ(open.document->lineBreakName(), "Unix");
    EXPECT_TRUE(open.document->isDocumentEdited());
    EXPECT_EQ(open.save(), "1\n2\n3\n4\n5\n6\n");
    view->undo();
    EXPECT_EQ(open.document->lineBreakName(), "Mixed");
    EXPECT_EQ(open.save(), bytes + "6\r\n") << "one undo brings every break back";
}

TEST_F(FileDocument, AnImageOpensAsAPictureAndIsNeverReencoded) {
    std::string png = HVReadFile(HVTestDataPath("images/pixels.png"));
    ASSERT_FALSE(png.empty());
    // By its extension, and by its content when the name has none.
    for (const char* name : {"pixels.png", "pixels"}) {
        OpenFile open(dir.write(name, png));
        ASSERT_NE(open.document, nullptr) << open.error.fullDescription();
        EXPECT_EQ(open.document->fileViewKind(), HVFileViewKind::Image) << name;
        EXPECT_EQ(open.document->imageData(), png);
        EXPECT_FALSE(open.document->isDocumentEdited());
        ui->savePanelAnswers.push_back(dir.pathFor(std::string("copy-of-") + name));
        open.document->saveDocumentAs();
        EXPECT_EQ(HVReadFile(dir.pathFor(std::string("copy-of-") + name)), png)
            << "written byte for byte";
    }
    // An SVG is text to a web developer.
    OpenFile svg(dir.write("icon.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>"));
    EXPECT_EQ(svg.document->fileViewKind(), HVFileViewKind::Text);
}

TEST_F(FileDocument, AFileWithNULsOpensReadOnlyUntilTheUserAllowsEditing) {
    std::string bytes("head\0\x01\x02tail\r\n", 13);
    std::string path = dir.write("payload.bin", bytes);
    OpenFile open(path);
    ASSERT_NE(open.document, nullptr);
    EXPECT_TRUE(open.document->isReadOnly());
    EXPECT_EQ(open.statusBar().warning, "Read-only: it contains NUL characters and may not be "
                                        "text. Edit \u25B8 Allow Editing lets you change it.");
    type(open.document, u"x");
    EXPECT_EQ(ui->beeps, 1);
    EXPECT_FALSE(open.document->isDocumentEdited());
    EXPECT_EQ(HVReadFile(path), bytes);

    open.document->allowEditing();
    EXPECT_FALSE(open.document->isReadOnly());
    type(open.document, u"x");
    EXPECT_EQ(open.save(), bytes + "x") << "every other byte stays as it was";
    HVError error;
    ASSERT_TRUE(open.document->revertToSaved(&error));
    EXPECT_FALSE(open.document->isReadOnly()) << "the user's choice outlives a revert";
}

TEST_F(FileDocument, DotFilesFindTheLanguageThatClaimsTheirName) {
    for (auto [name, language] :
         {std::pair{".htaccess", "Configuration"}, std::pair{".env", "Configuration"},
          std::pair{".editorconfig", "Configuration"}, std::pair{".bashrc", "Shell Script"}}) {
        OpenFile open(dir.write(name, "x=1\n"));
        ASSERT_NE(open.document->bundle(), nullptr) << name;
        EXPECT_EQ(open.document->bundle()->title(), language) << name;
    }
    OpenFile unknown(dir.write(".nothing-claims-this", "x"));
    EXPECT_EQ(unknown.document->bundle(), nullptr);
}

TEST_F(FileDocument, SavingOverAFileChangedByAnotherProgramAsksFirst) {
    OpenFile open(dir.write("shared.txt", "original"));
    type(open.document, u" mine");
    // Our own saves are not someone else's change.
    EXPECT_EQ(open.save(), "original mine");
    type(open.document, u"!");
    EXPECT_EQ(open.save(), "original mine!");
    EXPECT_TRUE(ui->presentedErrors.empty());

    auto theirs = [&](const std::string& bytes) {
        // Another program's write: a different size, and a later time.
        dir.write("shared.txt", bytes);
        type(open.document, u"?");
    };
    theirs("theirs");
    ui->alertAnswers = {2};
    EXPECT_EQ(open.save(), "theirs") << "Cancel writes nothing";
    ASSERT_EQ(ui->presentedErrors.size(), 1u);
    EXPECT_TRUE(ui->presentedErrors[0].is(HVErrorDomain, 5));
    EXPECT_EQ(ui->presentedErrors[0].description(),
              "The file has been changed by another application since it was opened.");
    EXPECT_EQ(ui->presentedErrors[0].recoveryOptions(),
              (std::vector<std::string>{"Save Anyway", "Revert", "Cancel"}));
    EXPECT_TRUE(open.document->isDocumentEdited());

    ui->alertAnswers = {1};
    open.save();
    EXPECT_EQ(open.document->textView()->string(), u"theirs") << "Revert shows the disk's text";
    EXPECT_FALSE(open.document->isDocumentEdited());

    theirs("theirs again");
    ui->alertAnswers = {0};
    EXPECT_EQ(open.save(), "theirs?") << "Save Anyway writes ours";
    EXPECT_EQ(ui->presentedErrors.size(), 3u);
    type(open.document, u"!");
    EXPECT_EQ(open.save(), "theirs?!");
    EXPECT_EQ(ui->presentedErrors.size(), 3u) << "and then it is ours again";
}

TEST_F(FileDocument, ALossySaveWritesAndThenWarns) {
    std::string path = dir.write("latin.xml", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n");
    OpenFile open(path);
    EXPECT_EQ(open.document->encoding(), HVISOLatin1StringEncoding);
    type(open.document, u"€ and é");
    HVError error;
    ASSERT_TRUE(
        open.document->saveToURL(path, "HVTextFile", HVDocument::SaveOperationSave, &error));
    EXPECT_EQ(HVReadFile(path), "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n? and \xE9");
    ASSERT_EQ(ui->presentedErrors.size(), 1u);
    EXPECT_TRUE(ui->presentedErrors[0].is(HVErrorDomain, 16));
    EXPECT_FALSE(open.document->isDocumentEdited());
}

namespace {

// What the user saw after typing into the file and saving it: the alert's text and
// suggestion, or "saved", and whether the document still counts as edited.
std::vector<std::string> typeAndSave(const std::string& path, std::size_t characters,
                                     HVScriptedUserInterface& ui) {
    OpenFile open(path);
    if (!open.document)
        return {"cannot open: " + open.error.fullDescription()};
    HVTextViewModel* view = open.document->textView();
    view->setSelectedRange({view->string().size(), 0});
    view->insertText(std::u16string(characters, u'x'));
    open.document->saveDocument();
    std::vector<std::string> seen;
    for (const HVError& error : ui.presentedErrors)
        seen.push_back(error.description() + " / " + error.recoverySuggestion());
    if (seen.empty())
        seen.push_back("saved");
    seen.push_back(open.document->isDocumentEdited() ? "edited" : "not edited");
    return seen;
}

constexpr const char* kSaveAdvice =
    "Please check that you have write permissions and that your file encoding is valid.";

} // namespace

TEST_F(FileDocument, ASaveThatFailsShowsTheSystemsReasonAndKeepsEverything) {
    // A limit on file sizes: the write fails half-way.
    std::string path = dir.write("page.html", "<p>old</p>");
    auto seen = HVReportOfChild([&] {
        HVLimitFileSize(1024);
        return typeAndSave(path, 4096, *ui);
    });
    EXPECT_EQ(seen,
              (std::vector<std::string>{
                  "Cannot write \"" + path + "\": File too large / " + kSaveAdvice, "edited"}));
    EXPECT_EQ(HVReadFile(path), "<p>old</p>");
    EXPECT_EQ(HVFileSystem::listRecursively(dir.path()).size(), 1u) << "no temporary file left";
}

TEST_F(FileDocument, AReadOnlyFileIsNotReplacedBehindTheUsersBack) {
    ::chmod(dir.path().c_str(), 0777);
    std::string path = dir.write("locked.txt", "old");
    ::chmod(path.c_str(), 0444);
    auto seen = HVReportOfChild([&] { return typeAndSave(path, 1, *ui); }, true);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0].find("Permission denied"), std::string::npos) << seen[0];
    EXPECT_EQ(seen[1], "edited");
    EXPECT_EQ(HVReadFile(path), "old");
}

TEST_F(FileDocument, AWritableFileInALockedFolderOrWithHardLinksIsSavedInPlace) {
    ::chmod(dir.path().c_str(), 0755);
    std::string folder = dir.pathFor("locked");
    HVFileSystem::createDirectory(folder);
    std::string path = dir.write("locked/page.html", "<p>old</p>");
    ::chmod(folder.c_str(), 0555);
    ::chmod(path.c_str(), 0666);
    auto seen = HVReportOfChild([&] { return typeAndSave(path, 3, *ui); }, true);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(seen, (std::vector<std::string>{"saved", "not edited"}));
    EXPECT_EQ(HVReadFile(path), "<p>old</p>xxx");

    std::string shared = dir.pathFor("shared.txt");
    ASSERT_EQ(::link(path.c_str(), shared.c_str()), 0);
    OpenFile open(shared);
    type(open.document, u"!");
    EXPECT_EQ(open.save(), "<p>old</p>xxx!");
    EXPECT_EQ(HVReadFile(path), "<p>old</p>xxx!") << "both names still share the file";
}

TEST_F(FileDocument, SaveAsMovesTheDocumentToTheNewFileAndClearsTheChangedMark) {
    std::string path = dir.write("draft.txt", "text");
    OpenFile open(path);
    type(open.document, u"!");
    EXPECT_TRUE(open.window->windowController().tabs()[0].edited);
    ui->savePanelAnswers.push_back(dir.pathFor("final.txt"));
    open.document->saveDocumentAs();
    EXPECT_EQ(open.document->fileName(), dir.pathFor("final.txt"));
    EXPECT_EQ(HVReadFile(dir.pathFor("final.txt")), "text!");
    EXPECT_EQ(HVReadFile(path), "text");
    EXPECT_FALSE(open.document->isDocumentEdited());
    EXPECT_FALSE(open.window->windowController().tabs()[0].edited);
    EXPECT_EQ(open.window->windowController().tabs()[0].title, "final.txt");
    // Undoing past the save point changes the document again.
    open.document->textView()->undoManager().undo();
    EXPECT_TRUE(open.document->isDocumentEdited());
}

TEST_F(FileDocument, ReopeningWithAnotherEncodingAndEachAnswer) {
    std::string cyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2"; // "Привет" in windows-1251
    std::string path = dir.write("ru.txt", cyrillic);

    // Not changed: reopens at once.
    OpenFile open(path);
    EXPECT_EQ(open.statusBar().warning, "Opened using iso-8859-1");
    open.document->reopenUsingEncoding("windows-1251");
    EXPECT_EQ(open.document->textView()->string(), u"Привет");
    EXPECT_EQ(open.statusBar().statusText, "Opened using windows-1251");
    EXPECT_EQ(open.document->fileConfigurationValueForKey("HVFileEncoding"),
              HVPlistValue(std::int64_t(HVFileEncodings::encodingFromString("windows-1251"))));
    EXPECT_TRUE(ui->presentedErrors.empty());

    // Changed, "Cancel": nothing happens.
    type(open.document, u"!");
    ui->alertAnswers = {2};
    open.document->reopenUsingEncoding("koi8-r");
    EXPECT_EQ(ui->presentedErrors.back().code(), 12);
    EXPECT_EQ(ui->presentedErrors.back().description(), "File has unsaved changes");
    EXPECT_EQ(open.document->textView()->string(), u"Привет!");
    EXPECT_TRUE(open.document->isDocumentEdited());

    // Changed, "Discard Changes": reads the file again in the new encoding.
    ui->alertAnswers = {1};
    open.document->reopenUsingEncoding("koi8-r");
    EXPECT_EQ(open.document->textView()->string(), u"оПХБЕР");
    EXPECT_FALSE(open.document->isDocumentEdited());
    EXPECT_EQ(HVReadFile(path), cyrillic);

    // Changed, "Save Changes": written in the new encoding, then read back.
    open.document->reopenUsingEncoding("windows-1251");
    open.document->textView()->setString(u"");
    type(open.document, u"Мир");
    ui->alertAnswers = {0};
    open.document->reopenUsingEncoding("koi8-r");
    EXPECT_EQ(HVReadFile(path), "\xED\xC9\xD2"); // "Мир" in KOI8-R
    EXPECT_EQ(open.document->textView()->string(), u"Мир");
    EXPECT_FALSE(open.document->isDocumentEdited());
}

TEST_F(FileDocument, OutsideChangesRevertSilentlyOrAsk) {
    OpenFile open(dir.write("a.txt", "one"));
    dir.write("a.txt", "two");
    open.document->fileContentsChangedExternally();
    EXPECT_EQ(open.document->textView()->string(), u"two");
    EXPECT_TRUE(ui->presentedErrors.empty());

    type(open.document, u" mine");
    dir.write("a.txt", "three");
    ui->alertAnswers = {0};
    open.document->fileContentsChangedExternally();
    ASSERT_EQ(ui->presentedErrors.size(), 1u);
    EXPECT_EQ(ui->presentedErrors[0].code(), 5);
    EXPECT_EQ(ui->presentedErrors[0].recoveryOptions(),
              (std::vector<std::string>{"Keep Halvet Changes", "Revert"}));
    EXPECT_NE(ui->presentedErrors[0].recoverySuggestion().find("a.txt"), std::string::npos);
    EXPECT_EQ(open.document->textView()->string(), u"two mine");

    ui->alertAnswers = {1};
    open.document->fileContentsChangedExternally();
    EXPECT_EQ(open.document->textView()->string(), u"three");
    EXPECT_FALSE(open.document->isDocumentEdited());
}

TEST_F(FileDocument, ADeletedFileIsSavedElsewhereOrClosed) {
    std::string path = dir.write("a.txt", "keep me");
    OpenFile open(path);
    ::unlink(path.c_str());
    ui->alertAnswers = {1};
    open.document->fileContentsDisappeared();
    ASSERT_EQ(ui->presentedErrors.size(), 1u);
    EXPECT_EQ(ui->presentedErrors[0].code(), 6);
    EXPECT_EQ(ui->presentedErrors[0].description(), "Local File Removed");
    EXPECT_TRUE(open.window->windowController().openDocuments().empty()) << "Don't Save closes";

    std::string other = dir.write("b.txt", "rescue me");
    OpenFile second(other);
    ::unlink(other.c_str());
    ui->alertAnswers = {0};
    ui->savePanelAnswers.push_back(dir.pathFor("rescued.txt"));
    second.document->fileContentsDisappeared();
    EXPECT_EQ(ui->savePanels, 0) << "the save panel waits for the current event to end";
    HVDispatcher::main().runPending();
    EXPECT_EQ(HVReadFile(dir.pathFor("rescued.txt")), "rescue me");
    EXPECT_TRUE(second.window->windowController().openDocuments().empty());
}

TEST_F(FileDocument, FilesInTheSnippetsFolderAreAlwaysUTF16) {
    std::string snippets = Defaults::appSupportPathForFile("snippets");
    HVFileSystem::createDirectory(snippets);
    std::string path = snippets + "/loop.txt";
    HVFileSystem::writeFileAtomically(path, std::string("\xFF\xFEh\0i\0", 6));
    OpenFile open(path);
    open.document->setConfigurationValue(HVPlistValue(std::int64_t(HVUTF8StringEncoding)),
                                         "HVFileEncoding", open.document->configurationPath());
    HVError error;
    ASSERT_TRUE(open.document->revertToSaved(&error));
    EXPECT_EQ(open.document->textView()->string(), u"hi");
    type(open.document, u"!");
    open.document->saveDocument();
    EXPECT_EQ(HVReadFile(path), std::string("\xFF\xFEh\0i\0!\0", 8));
}

// The name, the tab's title, settings for the file and the language follow a rename; a language
// chosen by hand stays.
TEST_F(FileDocument, ARenameCarriesTheSettingsAndTheLanguageFollowsTheExtension) {
    std::string path = dir.write("site/style.css", "p { color: red }");
    OpenFile open(path);
    EXPECT_EQ(open.document->titleForLists(), "style.css \u2014 " + dir.pathFor("site"));
    open.document->setConfigurationValue(HVPlistValue("http://example.test/"), "HVRemotePreviewURL",
                                         open.document->configurationPath());
    ASSERT_NE(open.document->bundle(), nullptr);
    EXPECT_EQ(open.document->bundle()->identifier(), "text.css");
    EXPECT_EQ(open.document->fileConfigurationValueForKey("HVFileBundle"),
              HVPlistValue(open.document->bundle()->bundleIdentifier()));
    open.document->activate();
    EXPECT_EQ(open.statusBar().languageName, open.document->bundle()->title());

    std::string renamed = dir.pathFor("site/app.js");
    ASSERT_EQ(::rename(path.c_str(), renamed.c_str()), 0);
    open.document->file()->setPath(renamed);
    EXPECT_EQ(open.document->fileName(), renamed);
    EXPECT_EQ(open.window->windowController().tabs()[0].title, "app.js");
    EXPECT_EQ(open.document->fileConfigurationValueForKey("HVRemotePreviewURL"),
              HVPlistValue("http://example.test/"));
    EXPECT_EQ(open.document->bundle()->identifier(), "text.js");

    auto markup = HVBundleRepository::sharedRepository().bundleForIdentifier("text.html");
    open.document->chooseBundle(markup);
    std::string again = dir.pathFor("site/app.py");
    ASSERT_EQ(::rename(renamed.c_str(), again.c_str()), 0);
    open.document->file()->setPath(again);
    EXPECT_EQ(open.document->bundle(), markup) << "a language chosen by hand stays";
    EXPECT_EQ(open.statusBar().languageName, markup->title());
}

TEST_F(FileDocument, ACollapsedRegionIsSavedAndCountedWithTheTextItStandsFor) {
    // Windows line breaks and a character outside the BMP, so that any byte lost shows.
    const std::string bytes = "f() {\r\n  body(\"\xF0\x9F\x98\x80\");\r\n}\r\nafter";
    OpenFile open(dir.write("a.js", bytes));
    open.document->viewWithSuggestedFrame();
    HTMLView& view = *open.document->highlightingView();
    open.document->activate();
    ASSERT_TRUE(view.rulerView().toggleMarker(0));
    EXPECT_EQ(view.string(), u"f() {\uFFFC}\r\nafter");
    EXPECT_FALSE(open.document->isDocumentEdited()) << "collapsing is not an edit";
    view.setSelectedRange({view.string().size(), 0});
    open.document->activate();
    EXPECT_EQ(open.statusBar().line, 4u);
    EXPECT_EQ(open.statusBar().column, 6u);
    EXPECT_EQ(open.save(), bytes);
    view.undoManager().undo();
    EXPECT_EQ(view.textStorage().hasAttachments(), false);
    EXPECT_FALSE(open.document->isDocumentEdited());
    view.undoManager().redo();
    EXPECT_FALSE(open.document->isDocumentEdited());
    EXPECT_EQ(open.save(), bytes);
    // Ordinary steps still mark it, and undoing them clears it again.
    view.insertText(u"x");
    EXPECT_TRUE(open.document->isDocumentEdited());
    view.undoManager().undo();
    EXPECT_FALSE(open.document->isDocumentEdited());
}

TEST_F(FileDocument, TheViewHighlightsInTheDocumentsLanguageAndFollowsTheUsersChoice) {
    OpenFile open(dir.write("site/page.html", "<p class=\"a\">x</p>\n<script>var a;</script>\n"));
    ASSERT_NE(open.document->highlightingView(), nullptr);
    HVSyntaxHighlightingTextView& view = *open.document->highlightingView();
    auto& repository = HVBundleRepository::sharedRepository();
    const HVTextBuffer& text = view.textStorage();
    std::size_t script = view.string().find(u"var");

    // The status bar's language menu: stored for the file, and the text painted anew.
    auto scripts = repository.bundleForIdentifier("text.js");
    ASSERT_TRUE(open.document->statusBarSetBundle(scripts->bundleIdentifier()));
    EXPECT_EQ(view.bundle(), scripts);
    EXPECT_EQ(open.document->fileConfigurationValueForKey("HVFileBundle"),
              HVPlistValue(scripts->bundleIdentifier()));
    EXPECT_EQ(HVParser::parserAtIndex(text, 0), scripts->parser());

    // A tab in the back postpones whole-text work until it comes forward.
    open.document->deactivate();
    EXPECT_FALSE(view.active());
    open.document->statusBarSetBundle(
        repository.bundleForIdentifier("text.html")->bundleIdentifier());
    EXPECT_TRUE(view.hadEventWhileInactive());
    open.document->activate();
    EXPECT_TRUE(view.active());
    EXPECT_FALSE(view.hadEventWhileInactive());
    EXPECT_EQ(HVParser::parserAtIndex(text, script),
              repository.bundleForIdentifier("text.js")->parser());
}

TEST_F(FileDocument, AFileOpenedAloneAndEverySaveReachTheSymbolIndex) {
    HVCodeIndex& index = HVCodeIndex::sharedIndex();
    index.start();
    std::string path = dir.path() + "/shop.php";
    HVFileSystem::writeFileAtomically(path, "<?php\nfunction shop_total($cart) { return 0; }\n");
    auto names = [&] {
        EXPECT_TRUE(index.waitUntilIdle(20));
        std::vector<std::u16string> keys;
        for (const HVCodeIndexKey& key : index.keysForType(std::nullopt, "text.php", path))
            keys.push_back(key.key);
        std::sort(keys.begin(), keys.end());
        return keys;
    };

    HVError error;
    auto document = HVSingleFileDocument::initWithContentsOfFile(path, &error);
    ASSERT_TRUE(document) << error.description();
    document->makeWindowControllers();
    EXPECT_EQ(names(), std::vector<std::u16string>{u"shop_total"});

    type(document.get(), u"function shop_tax($cart) { return 0; }\n");
    // Saved within the same second as the first reading: still news to the index.
    document->saveDocument();
    EXPECT_EQ(names(), (std::vector<std::u16string>{u"shop_tax", u"shop_total"}));
}
