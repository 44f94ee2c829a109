#include "HVDocumentsTestSupport.h"
#include "HVFile.h"
#include "HVLocalFileRepresentation.h"

namespace {

// A file whose content change (an upload, say) finishes a moment after the save.
class SlowFile : public HVFile {
public:
    explicit SlowFile(std::string path) : HVFile(std::move(path), nullptr) {}
    static std::shared_ptr<SlowFile> make(const std::string& path) {
        auto file = std::make_shared<SlowFile>(path);
        file->takeRepresentation(HVLocalFileRepresentation::initWithPath(path));
        return file;
    }
    void contentsDidChange() override {
        HVFileNodeDocument* document = this->document();
        HVDispatcher::main().postAfterDelay(0.02,
                                            [document] { document->fileContentChangeFinished(); });
    }
};

std::string titles(const HVMultiFileWindowController& window) {
    std::string out;
    for (const auto& tab : window.tabs())
        out += tab.title + (tab.edited ? "*" : "") + " ";
    return out;
}

// A tabbed window of its own, not known to the document controller.
class TabbedWindow : public HVDocumentsTest {
protected:
    HVMultiFileDocument window;
    HVMultiFileWindowController& tabs = window.windowController();

    HVFileDocument* open(const std::string& name, std::string_view bytes = "x") {
        return tabs.openFileAtPath(dir.write(name, bytes));
    }
};

} // namespace

TEST_F(TabbedWindow, OpeningTheSameFileTwiceGivesOneTab) {
    std::string a = dir.write("a.txt", "a");
    auto node = HVFile::initWithPath(a);
    HVFileDocument* first = tabs.openFile(node);
    EXPECT_EQ(tabs.openFileAtPath(a), first);
    EXPECT_EQ(tabs.openFile(node), first);
    EXPECT_EQ(tabs.openDocuments().size(), 1u);
    EXPECT_EQ(tabs.tabs()[0].identifier, node->uuid());
    EXPECT_EQ(tabs.tabs()[0].toolTip, a);
}

TEST_F(TabbedWindow, ClosingATabActivatesTheOneThatTakesItsPlace) {
    std::vector<HVFileDocument*> documents;
    for (const char* name : {"1.txt", "2.txt", "3.txt", "4.txt", "5.txt"})
        documents.push_back(open(name));
    tabs.activateDocument(documents[2]);
    tabs.closeDocument(documents[2]);
    EXPECT_EQ(tabs.activeDocument(), documents[3]);
    EXPECT_EQ(titles(tabs), "1.txt 2.txt 4.txt 5.txt ");
    tabs.activateDocument(documents[4]);
    tabs.closeDocument(documents[4]);
    EXPECT_EQ(tabs.activeDocument(), documents[3]) << "closing the last tab activates the new last";
    tabs.closeDocument(documents[0]);
    EXPECT_EQ(tabs.activeDocument(), documents[3])
        << "closing an inactive tab keeps the active one";
    tabs.closeDocument(documents[1]);
    tabs.closeDocument(documents[3]);
    EXPECT_EQ(tabs.activeDocument(), nullptr);
    EXPECT_EQ(tabs.selectedTabIndex(), -1);
}

TEST_F(TabbedWindow, NextPreviousAndDraggingTabs) {
    auto *a = open("a.txt"), *b = open("b.txt"), *c = open("c.txt");
    EXPECT_EQ(tabs.activeDocument(), c);
    tabs.nextFile();
    EXPECT_EQ(tabs.activeDocument(), a) << "wraps around";
    tabs.previousFile();
    EXPECT_EQ(tabs.activeDocument(), c);
    tabs.moveTab(2, 0);
    EXPECT_EQ(titles(tabs), "c.txt a.txt b.txt ");
    EXPECT_EQ(tabs.selectedTabIndex(), 0);
    tabs.selectTabAtIndex(2);
    EXPECT_EQ(tabs.activeDocument(), b);
}

TEST_F(TabbedWindow, CloseAllWaitsForEverySaveToFinish) {
    std::string a = dir.write("a.txt", "a"), b = dir.write("b.txt", "b");
    HVFileDocument* first = tabs.openFile(SlowFile::make(a));
    HVFileDocument* second = tabs.openFile(SlowFile::make(b));
    open("c.txt");
    type(first, u"1");
    type(second, u"2");
    EXPECT_EQ(titles(tabs), "a.txt* b.txt* c.txt ");

    ui->reviewAnswers.push_back({0, {}});
    std::optional<bool> finished;
    tabs.closeOpenFiles([&](bool mayClose) { finished = mayClose; });
    ASSERT_EQ(ui->reviewedTitles.size(), 1u);
    EXPECT_EQ(ui->reviewedTitles[0].size(), 2u) << "only the edited documents are listed";
    EXPECT_FALSE(finished.has_value()) << "the saves have not finished yet";
    EXPECT_EQ(HVReadFile(a), "a1");
    EXPECT_EQ(tabs.openDocuments().size(), 3u);

    ASSERT_TRUE(HVDispatcher::main().runUntil([&] { return finished.has_value(); }, 5));
    EXPECT_TRUE(*finished);
    EXPECT_TRUE(tabs.openDocuments().empty());
    EXPECT_EQ(HVReadFile(b), "b2");
}

TEST_F(TabbedWindow, CloseAllReviewAnswers) {
    std::string a = dir.write("a.txt", "a"), b = dir.write("b.txt", "b");
    type(tabs.openFileAtPath(a), u"1");
    type(tabs.openFileAtPath(b), u"2");
    std::optional<bool> result;
    auto closeAll = [&](HVScriptedUserInterface::Review answer) {
        result.reset();
        ui->reviewAnswers.push_back(answer);
        tabs.closeOpenFiles([&](bool mayClose) { result = mayClose; });
    };

    closeAll({3, {}});
    EXPECT_EQ(result, false) << "cancel";
    closeAll({1, {}});
    EXPECT_EQ(result, false) << "saving an empty selection keeps the window open";
    EXPECT_EQ(tabs.openDocuments().size(), 2u);
    closeAll({1, {1}});
    EXPECT_EQ(result, std::nullopt) << "the tabs close after the current event";
    HVDispatcher::main().runPending();
    EXPECT_EQ(result, true) << "the selected save finished, so the window may close";
    EXPECT_EQ(HVReadFile(b), "b2");
    EXPECT_EQ(HVReadFile(a), "a") << "the unselected document's changes are dropped";
    EXPECT_TRUE(tabs.openDocuments().empty());

    type(tabs.openFileAtPath(a), u"1");
    closeAll({2, {}});
    EXPECT_EQ(result, true) << "discarding closes at once";
    EXPECT_EQ(HVReadFile(a), "a");
    EXPECT_TRUE(tabs.openDocuments().empty());
}

TEST_F(HVDocumentsTest, ClosingTheLastTabClosesTheWindowAfterTheEvent) {
    auto window = std::make_shared<HVMultiFileDocument>();
    controller().addDocument(window);
    auto& tabs = window->windowController();
    type(tabs.openFileAtPath(dir.write("a.txt", "a")), u"changed");
    ui->alertAnswers = {2}; // "Don't Save"
    tabs.closeCurrentFile();
    EXPECT_TRUE(tabs.openDocuments().empty());
    EXPECT_EQ(controller().documents().size(), 1u);
    HVDispatcher::main().runPending();
    EXPECT_TRUE(controller().documents().empty());
}

TEST_F(TabbedWindow, EditedDocumentsInTabOrder) {
    auto *a = open("a.txt"), *b = open("b.txt"), *c = open("c.txt");
    type(c, u"!");
    type(a, u"!");
    EXPECT_EQ(tabs.editedDocuments(), (std::vector<HVFileDocument*>{a, c}));
    EXPECT_TRUE(window.isDocumentEdited());
    tabs.saveAllFiles();
    EXPECT_TRUE(tabs.editedDocuments().empty());
    EXPECT_FALSE(b->isDocumentEdited());
}
