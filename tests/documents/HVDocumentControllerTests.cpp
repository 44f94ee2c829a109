#include "HVClipboard.h"
#include "HVDocumentsTestSupport.h"
#include "HVFileSystem.h"
#include "HVURLHandlerCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using DocumentController = HVDocumentsTest;

namespace {

// Where a failed open could have left a document: in a window of its own or as a tab.
std::size_t openFileCount() {
    std::size_t count = 0;
    for (const auto& document : HVDocumentController::sharedController().documents()) {
        if (auto* multi = dynamic_cast<HVMultiFileDocument*>(document.get()))
            count += multi->openDocuments().size();
        else
            ++count;
    }
    return count;
}

} // namespace

TEST_F(DocumentController, AFileThatCannotBeReadOpensNoDocumentAndSaysWhy) {
    // Root reads every file, so permissions are tried as an unprivileged user.
    ::chmod(dir.path().c_str(), 0755);
    std::string secret = dir.write("secret.txt", "keep");
    ::chmod(secret.c_str(), 0600);
    for (bool tabs : {true, false}) {
        setPreference("HVUseTabs", tabs);
        bool refused = HVRunUnprivileged([&] {
            HVError error;
            HVDocument* document =
                controller().openDocumentWithContentsOfFile(secret, true, &error);
            return document == nullptr && openFileCount() == 0 &&
                   error.description().find("Permission denied") != std::string::npos;
        });
        EXPECT_TRUE(refused) << (tabs ? "tabbed window" : "single-file window");
    }
    EXPECT_EQ(HVReadFile(secret), "keep");

    // Larger than a text can be: refused before a byte is read (the file is sparse).
    std::string huge = dir.pathFor("huge.log");
    int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(1) << 32), 0);
    ::close(fd);
    HVError error;
    EXPECT_EQ(controller().openDocumentWithContentsOfFile(huge, true, &error), nullptr);
    EXPECT_EQ(error.code(), EFBIG) << error.fullDescription();

    // Gone between the check and the read.
    HVError gone;
    EXPECT_EQ(HVSingleFileDocument::initWithContentsOfFile(dir.pathFor("gone.txt"), &gone),
              nullptr);
    EXPECT_EQ(gone.code(), ENOENT);
    EXPECT_EQ(HVMultiFileDocument::initWithContentsOfFile(dir.pathFor("gone.txt"), &gone), nullptr);
    EXPECT_EQ(openFileCount(), 0u);
}

TEST_F(DocumentController, PipesDevicesFoldersAndMissingPathsOpenNothing) {
    std::string fifo = dir.pathFor("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Nobody writes to the pipe: reading it would wait for ever.
    for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
        HVError error;
        EXPECT_EQ(controller().openDocumentWithContentsOfFile(path, true, &error), nullptr);
        EXPECT_NE(error.description().find("not a regular file"), std::string::npos)
            << path << ": " << error.fullDescription();
    }
    EXPECT_TRUE(controller().documents().empty());

    EXPECT_EQ(controller().openDocumentWithContentsOfFile(dir.pathFor("gone.txt"), true), nullptr);
    ASSERT_EQ(ui->presentedErrors.size(), 1u);
    EXPECT_EQ(ui->presentedErrors[0].description(), "Unable to load project");
    EXPECT_EQ(ui->presentedErrors[0].recoverySuggestion(),
              "Check the project directory and configuration");
}

TEST_F(DocumentController, EveryPathToAnOpenFileShowsItsOneDocument) {
    for (bool tabs : {true, false}) {
        controller().reset();
        setPreference("HVUseTabs", tabs);
        std::string file = dir.write("site/page.html", "<p>");
        std::string link = dir.pathFor("link.html");
        std::string hard = dir.pathFor("hard.html");
        ::unlink(link.c_str());
        ::unlink(hard.c_str());
        ASSERT_EQ(::symlink("site/page.html", link.c_str()), 0);
        ASSERT_EQ(::link(file.c_str(), hard.c_str()), 0);
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        ASSERT_EQ(::chdir(dir.pathFor("site").c_str()), 0);

        HVDocument* first = controller().openDocumentWithContentsOfFile(file, true);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(dynamic_cast<HVSingleFileDocument*>(first) != nullptr, !tabs);
        HVFileDocument* document = first->activeDocument();
        for (const std::string& other :
             {dir.path() + "/site/./page.html", dir.path() + "//site//page.html",
              std::string("page.html"), std::string("./page.html"),
              dir.path() + "/site/../site/page.html", link, hard}) {
            HVDocument* again = controller().openDocumentWithContentsOfFile(other, true);
            ASSERT_NE(again, nullptr) << other;
            EXPECT_EQ(again->activeDocument(), document) << other;
        }
        EXPECT_EQ(openFileCount(), 1u) << (tabs ? "tabs" : "single windows");
        ASSERT_EQ(::chdir(cwd), 0);
    }
}

TEST_F(DocumentController, AFileOpenedThroughALinkIsSavedThroughIt) {
    std::string file = dir.write("real/page.html", "old");
    std::string link = dir.pathFor("page.html");
    ASSERT_EQ(::symlink("real/page.html", link.c_str()), 0);
    HVDocument* window = controller().openDocumentWithContentsOfFile(link, true);
    ASSERT_NE(window, nullptr);
    HVFileDocument* document = window->activeDocument();
    EXPECT_EQ(document->fileName(), link) << "the document keeps the name it was opened by";
    type(document, u"+new");
    document->saveDocument();
    EXPECT_EQ(HVReadFile(file), "old+new");
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(controller().openDocumentWithContentsOfFile(file, true)->activeDocument(), document);
}

// A file open in another window is shown there, not opened again in the front one.
TEST_F(DocumentController, HowToOpenFilesOneAddsATabToTheFrontWindowAndReopeningShowsIt) {
    std::string a = dir.write("a.txt", "alpha"), b = dir.write("b.txt", "beta");
    std::string c = dir.write("c.txt", "gamma");
    HVDocument* window = controller().openDocumentWithContentsOfFile(a, true);
    HVFileDocument* tabA = window->activeDocument();
    HVDocument* other = controller().openDocumentWithContentsOfFile(c, true);
    ASSERT_NE(other, window);
    setPreference("HVHowToOpenFiles", 1);
    controller().setCurrentDocument(window);
    HVDocument* opened = controller().openDocumentWithContentsOfFile(b, true);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(window->activeDocument(), opened);
    EXPECT_EQ(controller().openDocumentWithContentsOfFile(c, true), other->activeDocument());
    EXPECT_EQ(controller().openDocumentWithContentsOfFile(a, true), tabA);
    EXPECT_EQ(window->activeDocument(), tabA);
    EXPECT_EQ(controller().documents().size(), 2u);
    EXPECT_EQ(static_cast<HVMultiFileDocument*>(window)->openDocuments().size(), 2u);
}

TEST_F(DocumentController, ALaunchOpensAnUntitledDocumentUnlessEveryFileOpened) {
    std::string a = dir.write("a.txt", "alpha");
    struct Case {
        std::vector<std::string> files;
        bool loaded;
        std::size_t documents;
    };
    for (const Case& launch : {Case{{a}, true, 1}, Case{{}, false, 1},
                               Case{{a, dir.pathFor("missing.txt")}, false, 2}}) {
        controller().reset();
        if (!launch.files.empty()) {
            EXPECT_EQ(controller().applicationOpenFiles(launch.files), launch.loaded);
        }
        EXPECT_EQ(controller().filesLoaded(), launch.loaded) << launch.files.size() << " files";
        controller().applicationDidFinishLaunching();
        ASSERT_EQ(controller().documents().size(), launch.documents) << launch.files.size();
    }
    // The untitled one is a single-file window.
    HVDocument* untitled = controller().documents().back().get();
    EXPECT_NE(dynamic_cast<HVSingleFileDocument*>(untitled), nullptr);
    EXPECT_TRUE(untitled->fileName().empty());
}

// URLs of another host or without a file do nothing; values are not percent-decoded.
TEST_F(DocumentController, HvdtURLsOpenTheFileAndSelectTheRange) {
    std::string path = dir.write("a.txt", "0123456789");
    HVURLHandlerCommand::performDefaultImplementation("hvdt://other?file=" + path + "&range=3,4");
    HVURLHandlerCommand::performDefaultImplementation("http://open?file=" + path);
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?range=3,4");
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?garbage&&=&");
    EXPECT_TRUE(controller().documents().empty());
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?file=" + path + "&range=3,4");
    ASSERT_EQ(controller().documents().size(), 1u);
    HVFileDocument* file = controller().documents()[0]->activeDocument();
    EXPECT_EQ(file->textView()->selectedRange(), HVMakeRange(3, 4));

    file->textView()->setSelectedRange({1, 0});
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?file=" + path + "&range=3");
    EXPECT_EQ(file->textView()->selectedRange(), HVMakeRange(1, 0)) << "one number changes nothing";
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?range=2,2&file=" + path);
    EXPECT_EQ(file->textView()->selectedRange(), HVMakeRange(2, 2));
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?file=" + path + "&range=5x,2y");
    EXPECT_EQ(file->textView()->selectedRange(), HVMakeRange(5, 2)) << "leading digits count";
    EXPECT_EQ(controller().documents().size(), 1u);
    std::string odd = dir.write("a%20b.txt", "x");
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?file=" + odd);
    ASSERT_EQ(controller().documents().size(), 2u);
    EXPECT_EQ(controller().documents()[1]->activeDocument()->fileName(), odd);
}

TEST_F(DocumentController, NewFromClipboardIsAnEditedUntitledDocument) {
    HVMemoryClipboard clipboard;
    clipboard.setString(u"pasted text");
    HVDocument* document = controller().newFileWithClipboard(clipboard);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->activeDocument()->textView()->string(), u"pasted text");
    EXPECT_TRUE(document->isDocumentEdited());

    // Its line breaks are those of new documents, whatever the clipboard held.
    setPreference("HVLineBreak", 2);
    clipboard.setString(u"one\ntwo\rthree\r\n");
    HVFileDocument* file = controller().newFileWithClipboard(clipboard)->activeDocument();
    EXPECT_EQ(file->textView()->string(), u"one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(file->lineBreakName(), "DOS");
}
