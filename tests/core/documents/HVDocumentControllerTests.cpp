#include "HVClipboard.h"
#include "HVDocumentsTestSupport.h"
#include "HVURLHandlerCommand.h"

using DocumentController = HVDocumentsTest;

TEST_F(DocumentController, TextFilesOpenInATabbedWindowOfTheirOwnByDefault) {
    std::string a = dir.write("a.txt", "alpha"), b = dir.write("b.txt", "beta");
    HVDocument* first = controller().openDocumentWithContentsOfFile(a, true);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isMultiFile());
    EXPECT_EQ(first->activeDocument()->fileName(), a);
    EXPECT_EQ(first->activeDocument()->textView()->string(), u"alpha");
    HVDocument* second = controller().openDocumentWithContentsOfFile(b, true);
    EXPECT_NE(first, second);
    EXPECT_EQ(controller().documents().size(), 2u);
}

TEST_F(DocumentController, HowToOpenFilesOneAddsATabToTheFrontWindow) {
    setPreference("HVHowToOpenFiles", 1);
    std::string a = dir.write("a.txt", "alpha"), b = dir.write("b.txt", "beta");
    HVDocument* window = controller().openDocumentWithContentsOfFile(a, true);
    HVDocument* opened = controller().openDocumentWithContentsOfFile(b, true);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(controller().documents().size(), 1u);
    EXPECT_EQ(window->activeDocument(), opened);
    auto* multi = static_cast<HVMultiFileDocument*>(window);
    EXPECT_EQ(multi->openDocuments().size(), 2u);
}

TEST_F(DocumentController, WithoutTabsEachFileGetsASingleFileWindow) {
    setPreference("HVUseTabs", false);
    std::string a = dir.write("a.txt", "alpha");
    HVDocument* document = controller().openDocumentWithContentsOfFile(a, true);
    ASSERT_NE(document, nullptr);
    EXPECT_FALSE(document->isMultiFile());
    EXPECT_NE(dynamic_cast<HVSingleFileDocument*>(document), nullptr);
    EXPECT_EQ(document->activeDocument()->textView()->string(), u"alpha");
}

TEST_F(DocumentController, OpeningAnOpenFileAgainShowsItAndMakesNothingNew) {
    setPreference("HVHowToOpenFiles", 1);
    std::string a = dir.write("a.txt", "alpha"), b = dir.write("b.txt", "beta");
    HVDocument* window = controller().openDocumentWithContentsOfFile(a, true);
    HVDocument* tabB = controller().openDocumentWithContentsOfFile(b, true);
    HVDocument* tabA = controller().openDocumentWithContentsOfFile(a, true);
    EXPECT_EQ(controller().documents().size(), 1u);
    EXPECT_EQ(window->activeDocument(), tabA);
    EXPECT_NE(tabA, tabB);
    EXPECT_EQ(static_cast<HVMultiFileDocument*>(window)->openDocuments().size(), 2u);
}

TEST_F(DocumentController, DirectoriesAndMissingPathsOpenNothing) {
    HVError error;
    EXPECT_EQ(controller().openDocumentWithContentsOfFile(dir.path(), true, &error), nullptr);
    EXPECT_EQ(error.code(), EISDIR);
    EXPECT_TRUE(controller().documents().empty());

    EXPECT_EQ(controller().openDocumentWithContentsOfFile(dir.pathFor("gone.txt"), true), nullptr);
    ASSERT_EQ(ui->presentedErrors.size(), 1u);
    EXPECT_EQ(ui->presentedErrors[0].description(), "Unable to load project");
    EXPECT_EQ(ui->presentedErrors[0].recoverySuggestion(),
              "Check the project directory and configuration");
    EXPECT_EQ(ui->presentedErrors[0].recoveryOptions(), std::vector<std::string>{"OK"});
}

TEST_F(DocumentController, ALaunchWithFilesOpensNoUntitledDocument) {
    std::string a = dir.write("a.txt", "alpha");
    EXPECT_TRUE(controller().applicationOpenFiles({a}));
    EXPECT_TRUE(controller().filesLoaded());
    controller().applicationDidFinishLaunching();
    EXPECT_EQ(controller().documents().size(), 1u);
}

TEST_F(DocumentController, ALaunchWithoutFilesOpensExactlyOneUntitledDocument) {
    controller().applicationDidFinishLaunching();
    ASSERT_EQ(controller().documents().size(), 1u);
    HVDocument* untitled = controller().documents()[0].get();
    EXPECT_NE(dynamic_cast<HVSingleFileDocument*>(untitled), nullptr);
    EXPECT_TRUE(untitled->fileName().empty());
    EXPECT_EQ(untitled->displayName().substr(0, 8), "Untitled");
}

TEST_F(DocumentController, ALaunchWhoseFilesDidNotAllOpenAddsAnUntitledDocument) {
    std::string a = dir.write("a.txt", "alpha");
    EXPECT_FALSE(controller().applicationOpenFiles({a, dir.pathFor("missing.txt")}));
    EXPECT_FALSE(controller().filesLoaded());
    controller().applicationDidFinishLaunching();
    EXPECT_EQ(controller().documents().size(), 2u) << "a.txt stays open, one untitled is added";
}

TEST_F(DocumentController, HvdtURLsOpenTheFileAndSelectTheRange) {
    std::string path = dir.write("a.txt", "0123456789");
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
}

TEST_F(DocumentController, HvdtURLsOfAnotherHostOrWithoutAFileDoNothing) {
    std::string path = dir.write("a.txt", "0123456789");
    HVURLHandlerCommand::performDefaultImplementation("hvdt://other?file=" + path + "&range=3,4");
    HVURLHandlerCommand::performDefaultImplementation("http://open?file=" + path);
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?range=3,4");
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?garbage&&=&");
    EXPECT_TRUE(controller().documents().empty());
    // Values are not percent-decoded: the name is taken as it stands.
    std::string odd = dir.write("a%20b.txt", "x");
    HVURLHandlerCommand::performDefaultImplementation("hvdt://open?file=" + odd);
    ASSERT_EQ(controller().documents().size(), 1u);
    EXPECT_EQ(controller().documents()[0]->activeDocument()->fileName(), odd);
}

TEST_F(DocumentController, NewFromClipboardIsAnEditedUntitledDocument) {
    HVMemoryClipboard clipboard;
    clipboard.setString(u"pasted text");
    HVDocument* document = controller().newFileWithClipboard(clipboard);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->activeDocument()->textView()->string(), u"pasted text");
    EXPECT_TRUE(document->isDocumentEdited());
}
