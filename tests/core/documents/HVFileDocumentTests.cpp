#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVDocumentsTestSupport.h"
#include "HVFile.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A tabbed window with one file open in it, the way the dispatcher makes one.
struct OpenFile {
    std::shared_ptr<HVMultiFileDocument> window = std::make_shared<HVMultiFileDocument>();
    HVFileDocument* document = nullptr;

    explicit OpenFile(const std::string& path) { document = window->openFileAtPath(path); }
    HVRecordingStatusBar& statusBar() { return window->windowController().recordingStatusBar(); }
};

} // namespace

using FileDocument = HVDocumentsTest;

TEST_F(FileDocument, SavingWritesTheLineBreaksOfThePreference) {
    setPreference("HVLineBreak", 2);
    std::string lf = dir.write("lf.txt", "one\ntwo\n");
    OpenFile dos(lf);
    type(dos.document, u"three");
    HVError error;
    ASSERT_TRUE(dos.document->saveToURL(lf, "HVTextFile", HVDocument::SaveOperationSave, &error))
        << error.fullDescription();
    EXPECT_EQ(HVReadFile(lf), "one\r\ntwo\r\nthree");

    setPreference("HVLineBreak", 1);
    std::string crlf = dir.write("crlf.txt", "one\r\ntwo\r\n");
    OpenFile mac(crlf);
    type(mac.document, u"!");
    ASSERT_TRUE(mac.document->saveToURL(crlf, "HVTextFile", HVDocument::SaveOperationSave, &error));
    EXPECT_EQ(HVReadFile(crlf), "one\rtwo\r!");

    setPreference("HVLineBreak", 0);
    std::string mixed = dir.write("mixed.txt", "a\rb\r\nc\n");
    OpenFile unix(mixed);
    type(unix.document, u"d");
    ASSERT_TRUE(
        unix.document->saveToURL(mixed, "HVTextFile", HVDocument::SaveOperationSave, &error));
    EXPECT_EQ(HVReadFile(mixed), "a\nb\nc\nd");
}

TEST_F(FileDocument, ASaveClearsTheChangedMarkAndPostsDidSave) {
    std::string path = dir.write("a.txt", "abc");
    OpenFile open(path);
    std::vector<const void*> saved;
    HVScopedObserver observer(
        HVNotificationCenter::defaultCenter(),
        HVNotificationCenter::defaultCenter().addObserver(
            "HVFileDidSave", nullptr, [&](const HVNotification& n) { saved.push_back(n.object); }));
    EXPECT_FALSE(open.document->isDocumentEdited());
    type(open.document, u"d");
    EXPECT_TRUE(open.document->isDocumentEdited());
    EXPECT_TRUE(open.window->windowController().tabs()[0].edited);
    open.document->saveDocument();
    EXPECT_FALSE(open.document->isDocumentEdited());
    EXPECT_FALSE(open.window->windowController().tabs()[0].edited);
    EXPECT_EQ(saved, std::vector<const void*>{open.document});
    EXPECT_EQ(HVReadFile(path), "abcd");
    // Undoing past the save point changes the document again.
    open.document->textView()->undoManager().undo();
    EXPECT_TRUE(open.document->isDocumentEdited());
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
    EXPECT_NE(ui->presentedErrors[0].recoverySuggestion().find("iso-8859-1"), std::string::npos);
    EXPECT_FALSE(open.document->isDocumentEdited());
}

TEST_F(FileDocument, AFallbackOnReadingIsAStatusBarWarning) {
    std::string path = dir.write("bytes.txt", "caf\xE9");
    OpenFile open(path);
    EXPECT_EQ(open.document->textView()->string(), u"café");
    EXPECT_EQ(open.statusBar().warning, "Opened using iso-8859-1");
    EXPECT_TRUE(ui->presentedErrors.empty());
}

TEST_F(FileDocument, AFailedSaveKeepsTheOldFileAndReportsCode17) {
    std::string folder = dir.pathFor("locked");
    HVFileSystem::createDirectory(folder);
    std::string path = dir.write("locked/page.html", "<p>old</p>");
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(folder.c_str(), 0555);
    // Read-only too: a writable file in a locked folder is saved in place.
    ::chmod(path.c_str(), 0444);
    bool reported = HVRunUnprivileged([&] {
        OpenFile open(path);
        type(open.document, u"new");
        HVError error;
        bool saved =
            open.document->saveToURL(path, "HVTextFile", HVDocument::SaveOperationSave, &error);
        return !saved && error.is(HVErrorDomain, 17) &&
               error.recoverySuggestion() == "Please check that you have write permissions and "
                                             "that your file encoding is valid." &&
               open.document->isDocumentEdited() && !open.document->saving();
    });
    ::chmod(folder.c_str(), 0755);
    EXPECT_TRUE(reported);
    EXPECT_EQ(HVReadFile(path), "<p>old</p>");
    EXPECT_EQ(HVFileSystem::listRecursively(folder).size(), 1u) << "no temporary file left";
}

TEST_F(FileDocument, SavingThroughASymbolicLinkKeepsTheLink) {
    std::string target = dir.write("real/index.html", "old");
    std::string link = dir.pathFor("index.html");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    OpenFile open(link);
    type(open.document, u"+new");
    open.document->saveDocument();
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(HVReadFile(target), "old+new");
}

TEST_F(FileDocument, SaveAsMovesTheDocumentToTheNewFile) {
    std::string path = dir.write("draft.txt", "text");
    OpenFile open(path);
    type(open.document, u"!");
    ui->savePanelAnswers.push_back(dir.pathFor("final.txt"));
    open.document->saveDocumentAs();
    EXPECT_EQ(open.document->fileName(), dir.pathFor("final.txt"));
    EXPECT_EQ(HVReadFile(dir.pathFor("final.txt")), "text!");
    EXPECT_EQ(HVReadFile(path), "text");
    EXPECT_FALSE(open.document->isDocumentEdited());
    EXPECT_EQ(open.window->windowController().tabs()[0].title, "final.txt");
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
    std::string path = dir.write("a.txt", "one");
    OpenFile open(path);
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

TEST_F(FileDocument, PerFileSettingsFollowARename) {
    std::string path = dir.write("old.html", "x");
    OpenFile open(path);
    open.document->setConfigurationValue(HVPlistValue("http://example.test/"), "HVRemotePreviewURL",
                                         open.document->configurationPath());
    std::string renamed = dir.pathFor("new.html");
    ASSERT_EQ(::rename(path.c_str(), renamed.c_str()), 0);
    open.document->file()->setPath(renamed);
    EXPECT_EQ(open.document->fileName(), renamed);
    EXPECT_EQ(open.document->fileConfigurationValueForKey("HVRemotePreviewURL"),
              HVPlistValue("http://example.test/"));
    EXPECT_EQ(open.window->windowController().tabs()[0].title, "new.html");
}

TEST_F(FileDocument, TitlesForListsAndTheProjectEntry) {
    std::string path = dir.write("site/index.html", "x");
    OpenFile open(path);
    EXPECT_EQ(open.document->titleForLists(), "index.html \u2014 " + dir.pathFor("site"));
    auto entry = open.document->plistRepresentationForProject();
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->stringForKey("path"));
    EXPECT_TRUE(entry->stringForKey("position"));
}

TEST_F(FileDocument, ClosingPostsWillClose) {
    std::string path = dir.write("a.txt", "x");
    OpenFile open(path);
    int closes = 0;
    HVScopedObserver observer(
        HVNotificationCenter::defaultCenter(),
        HVNotificationCenter::defaultCenter().addObserver(
            "HVFileWillClose", open.document, [&](const HVNotification&) { ++closes; }));
    open.window->windowController().closeDocument(open.document);
    EXPECT_EQ(closes, 1);
}

TEST_F(FileDocument, TheLanguageFollowsTheExtensionUntilTheUserChoosesOne) {
    std::string path = dir.write("site/style.css", "p { color: red }");
    OpenFile open(path);
    ASSERT_NE(open.document->bundle(), nullptr);
    EXPECT_EQ(open.document->bundle()->identifier(), "text.css");
    EXPECT_EQ(open.document->fileConfigurationValueForKey("HVFileBundle"),
              HVPlistValue(open.document->bundle()->bundleIdentifier()));
    open.document->activate();
    EXPECT_EQ(open.statusBar().languageName, open.document->bundle()->title());

    std::string renamed = dir.pathFor("site/app.js");
    ASSERT_EQ(::rename(path.c_str(), renamed.c_str()), 0);
    open.document->file()->setPath(renamed);
    EXPECT_EQ(open.document->bundle()->identifier(), "text.js");

    auto markup = HVBundleRepository::sharedRepository().bundleForIdentifier("text.html");
    open.document->chooseBundle(markup);
    std::string again = dir.pathFor("site/app.py");
    ASSERT_EQ(::rename(renamed.c_str(), again.c_str()), 0);
    open.document->file()->setPath(again);
    EXPECT_EQ(open.document->bundle(), markup) << "a language chosen by hand stays";
    EXPECT_EQ(open.statusBar().languageName, markup->title());
}
