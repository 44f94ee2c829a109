#include "HTMLView.h"
#include "HVDocumentsTestSupport.h"
#include "HVLineNumberingRulerView.h"
#include "HVMultiFileSearchController.h"
#include "HVMultiFileSearchNode.h"
#include "HVProject.h"
#include "HVProjectDocument.h"
#include "HVProjectRepository.h"
#include "HVSearchController.h"
#include "HVSearchRunner.h"

class MultiFileSearch : public HVDocumentsTest {
protected:
    HVMultiFileSearchController search;

    MultiFileSearch() {
        HVProjectRepository::sharedInstance().reload();
        auto& fields = HVSearchController::sharedFind();
        fields.setRegularExpression(false);
        fields.setMatchCase(false);
        fields.setReplaceString(u"");
    }
    ~MultiFileSearch() override { HVProjectRepository::sharedInstance().reload(); }

    static void fields(std::u16string find, std::u16string replace = u"") {
        HVSearchController::sharedFind().setSearchString(std::move(find));
        HVSearchController::sharedFind().setReplaceString(std::move(replace));
    }
    HVFileDocument* open(const std::string& path) {
        HVDocument* window = controller().openDocumentWithContentsOfFile(path, true);
        return window ? window->activeDocument() : nullptr;
    }
    bool waitForSearch() {
        return HVDispatcher::main().runUntil([&] { return !search.searching(); }, 20);
    }
    bool waitForReplace() {
        return HVDispatcher::main().runUntil([&] { return !search.replacing(); }, 20);
    }
    // "path: count" per node.
    std::vector<std::string> found() const {
        std::vector<std::string> lines;
        for (const auto& node : search.nodes())
            lines.push_back(HVFileSystem::lastPathComponent(node->path()) + ": " +
                            std::to_string(node->results().size()));
        return lines;
    }
};

TEST_F(MultiFileSearch, AnOpenDocumentIsSearchedWithItsUnsavedEdits) {
    std::string path = dir.write("page.html", "<p>first</p>\n");
    HVFileDocument* document = open(path);
    ASSERT_NE(document, nullptr);
    type(document, u"<p>needle</p>\n<p>needle</p>\n");
    fields(u"needle");

    search.setMode(HVMultiFileSearchController::Mode::CurrentFile);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    EXPECT_EQ(found(), (std::vector<std::string>{"page.html: 2"}));
    EXPECT_EQ(search.progressText(), "1 file searched, 0 skipped, 2 matches");
    EXPECT_EQ(HVSearchController::sharedFind().history("HVSearchHistory").front(), u"needle");
}

TEST_F(MultiFileSearch, ReplacingInAnOpenDocumentIsOneUndoStepThatKeepsItsLineBreaks) {
    std::string path = dir.write("dos.txt", "one foo\r\ntwo foo\r\nthree\r\n");
    HVFileDocument* document = open(path);
    ASSERT_NE(document, nullptr);
    fields(u"foo", u"bar\nbaz");
    search.setMode(HVMultiFileSearchController::Mode::OpenFiles);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_EQ(search.totalMatches(), 2u);

    ui->alertAnswers.push_back(0);
    ASSERT_TRUE(search.replace());
    ASSERT_TRUE(waitForReplace());
    HVTextViewModel* view = document->textView();
    EXPECT_EQ(view->string(), u"one bar\r\nbaz\r\ntwo bar\r\nbaz\r\nthree\r\n");
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(HVReadFile(path), "one foo\r\ntwo foo\r\nthree\r\n") << "the editor has it";
    EXPECT_TRUE(search.nodes().empty());

    view->undoManager().undo();
    EXPECT_EQ(view->string(), u"one foo\r\ntwo foo\r\nthree\r\n");
    EXPECT_FALSE(document->isDocumentEdited());
}

TEST_F(MultiFileSearch, TheQuestionCountsTheCheckedMatchesAndCancelReplacesNothing) {
    dir.write("site/a.txt", "foo foo");
    dir.write("site/b.txt", "no match");
    std::string c = dir.write("site/c.txt", "foo");
    fields(u"foo", u"bar");
    search.setSpecificPaths({dir.pathFor("site")});
    search.setMode(HVMultiFileSearchController::Mode::SpecificFiles);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_EQ(found(), (std::vector<std::string>{"a.txt: 2", "c.txt: 1"}));
    EXPECT_EQ(search.filesSearched(), 3u);

    search.setResultChecked(0, 1, false);
    EXPECT_EQ(search.nodeCheckState(0), HVMultiFileSearchController::CheckState::PartiallyChecked);
    HVError question = search.replaceQuestion();
    EXPECT_EQ(question.description(),
              "Do you really want to replace 2 occurrences (out of 3) of \"foo\" with \"bar\"?");
    EXPECT_EQ(question.recoveryOptions(), (std::vector<std::string>{"Replace", "Cancel"}));

    ui->alertAnswers.push_back(1);
    ASSERT_TRUE(search.replace());
    EXPECT_EQ(HVReadFile(c), "foo");
    EXPECT_EQ(search.nodes().size(), 2u) << "nothing replaced, nothing cleared";
}

TEST_F(MultiFileSearch, ReplacingInFilesKeepsTheirEncodingAndOnlyTheCheckedMatches) {
    std::string latin = dir.write("site/latin.txt", "caf\xe9 foo foo\n");
    std::string utf16 = dir.write("site/wide.txt", std::string("\xff\xfe"
                                                               "f\0o\0o\0\n\0",
                                                               10));
    fields(u"foo", u"b\u00e4r");
    search.setSpecificPaths({latin, utf16});
    search.setMode(HVMultiFileSearchController::Mode::SpecificFiles);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_EQ(found(), (std::vector<std::string>{"latin.txt: 2", "wide.txt: 1"}));
    search.setResultChecked(0, 0, false);

    ASSERT_TRUE(search.replace());
    ASSERT_TRUE(waitForReplace());
    EXPECT_EQ(HVReadFile(latin), "caf\xe9 foo b\xe4r\n");
    EXPECT_EQ(HVReadFile(utf16), std::string("\xff\xfe"
                                             "b\0\xe4\0r\0\n\0",
                                             10));
    EXPECT_EQ(ui->presentedErrors.size(), 1u) << "only the question";
}

TEST_F(MultiFileSearch, AFileThatCannotBeWrittenIsListedWithItsReason) {
    std::string locked = dir.write("site/locked.txt", "foo");
    fields(u"foo", u"bar");
    search.setSpecificPaths({locked});
    search.setMode(HVMultiFileSearchController::Mode::SpecificFiles);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_EQ(search.totalMatches(), 1u);
    // The folder refuses the new file that an atomic write needs, the file its bytes.
    ::chmod(locked.c_str(), 0444);
    ::chmod(dir.pathFor("site").c_str(), 0555);
    std::string reported;
    bool ran = HVRunUnprivileged([&] {
        if (!search.replace() || !waitForReplace() || ui->presentedErrors.size() != 2)
            return false;
        const HVError& alert = ui->presentedErrors[1];
        return alert.description() == "A file could not be changed." &&
               alert.recoverySuggestion().rfind("locked.txt: ", 0) == 0;
    });
    ::chmod(dir.pathFor("site").c_str(), 0755);
    EXPECT_TRUE(ran) << "the alert names the file and its reason";
    EXPECT_EQ(HVReadFile(locked), "foo");
}

TEST_F(MultiFileSearch, SavingADocumentOfTheResultsSearchesItAgain) {
    std::string path = dir.write("notes.txt", "foo\n");
    HVFileDocument* document = open(path);
    ASSERT_NE(document, nullptr);
    fields(u"foo");
    search.setVisible(true);
    search.setMode(HVMultiFileSearchController::Mode::OpenFiles);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_EQ(search.totalMatches(), 1u);

    type(document, u"foo foo\n");
    document->saveDocument();
    ASSERT_TRUE(HVDispatcher::main().runUntil([&] { return search.totalMatches() == 3; }, 20))
        << search.progressText();
    ASSERT_TRUE(waitForSearch());
    EXPECT_EQ(found(), (std::vector<std::string>{"notes.txt: 3"}));
}

TEST_F(MultiFileSearch, AProjectWithAServerAsksEveryTimeUntilToldNotTo) {
    std::string site = dir.pathFor("site");
    dir.write("site/index.html", "foo");
    auto* project =
        dynamic_cast<HVProjectDocument*>(controller().openDocumentWithContentsOfFile(site, true));
    ASSERT_NE(project, nullptr);
    project->project()->setHasRemoteEquivalent(true);
    fields(u"foo");
    search.setMode(HVMultiFileSearchController::Mode::CurrentProject);

    ui->alertAnswers = {1, 1};
    EXPECT_FALSE(search.find());
    EXPECT_FALSE(search.find());
    ASSERT_EQ(ui->presentedErrors.size(), 2u);
    EXPECT_EQ(ui->presentedErrors[0].code(), HVSearchLocalCopyQuestionCode);
    EXPECT_FALSE(search.searching());

    // Told not to ask, with searching the local copy off: nothing happens.
    setPreference("HVDontPromptToSearchLocalCache", true);
    setPreference("HVSearchLocalCacheForRemoteProjects", false);
    EXPECT_FALSE(search.find());
    EXPECT_EQ(ui->presentedErrors.size(), 2u);

    setPreference("HVSearchLocalCacheForRemoteProjects", true);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    EXPECT_EQ(found(), (std::vector<std::string>{"index.html: 1"}));
}

TEST_F(MultiFileSearch, OpeningAResultSelectsTheMatchInItsEditor) {
    std::string path = dir.write("site/page.html", "<p>\n  find me\n</p>\n");
    fields(u"me");
    search.setSpecificPaths({path});
    search.setMode(HVMultiFileSearchController::Mode::SpecificFiles);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_EQ(search.totalMatches(), 1u);

    HVFileDocument* document = search.openResult(0, 0);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->fileName(), path);
    EXPECT_EQ(document->textView()->selectedString(), u"me");
    EXPECT_EQ(search.openResult(0, 0), document) << "the same document, not a second one";
}

TEST_F(MultiFileSearch, InTheCurrentFileModeADocumentComingForwardIsSearchedUnlessItIsShown) {
    HVFileDocument* a = open(dir.write("a.txt", "foo\n"));
    HVFileDocument* b = open(dir.write("b.txt", "foo foo\n"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    fields(u"foo");
    search.setVisible(true);
    search.setMode(HVMultiFileSearchController::Mode::CurrentFile);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_EQ(found(), (std::vector<std::string>{"b.txt: 2"}));

    a->activate();
    EXPECT_TRUE(search.searching());
    ASSERT_TRUE(waitForSearch());
    EXPECT_EQ(found(), (std::vector<std::string>{"a.txt: 1"}));

    a->activate();
    EXPECT_FALSE(search.searching()) << "its results are the ones shown";
    search.setVisible(false);
    b->activate();
    EXPECT_FALSE(search.searching()) << "a hidden window does not search";
}

TEST_F(MultiFileSearch, AProjectsFileIsReadInTheEncodingChosenForIt) {
    std::string site = dir.pathFor("site");
    // "йфу" in windows-1251, which would read as Latin-1 letters if detected.
    dir.write("site/ru.txt", "\xe9\xf4\xf3\n");
    auto* project =
        dynamic_cast<HVProjectDocument*>(controller().openDocumentWithContentsOfFile(site, true));
    ASSERT_NE(project, nullptr);
    fields(u"\u0439\u0444\u0443");
    search.setMode(HVMultiFileSearchController::Mode::CurrentProject);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_TRUE(search.nodes().empty());

    project->project()->setConfigurationValue(
        HVPlistValue(std::int64_t(HVFileEncodings::encodingFromString("windows-1251"))),
        std::string(HVFileEncodingKey), "ru.txt");
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    EXPECT_EQ(found(), (std::vector<std::string>{"ru.txt: 1"}));
}

TEST_F(MultiFileSearch, ChosenFoldersBecomeTheScopeAndNothingChosenKeepsTheOldOne) {
    std::string site = dir.pathFor("site");
    dir.write("site/deep/page.txt", "foo");
    search.setMode(HVMultiFileSearchController::Mode::OpenFiles);
    bool answered = true;
    search.chooseSpecificPaths(true, [&](bool chosen) { answered = chosen; });
    EXPECT_FALSE(answered);
    EXPECT_EQ(search.mode(), HVMultiFileSearchController::Mode::OpenFiles);

    ui->openPanelAnswers.push_back({site});
    search.chooseSpecificPaths(true, [&](bool chosen) { answered = chosen; });
    EXPECT_TRUE(answered);
    EXPECT_EQ(search.mode(), HVMultiFileSearchController::Mode::SpecificFiles);
    fields(u"foo");
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    EXPECT_EQ(found(), (std::vector<std::string>{"page.txt: 1"}));
}

TEST_F(MultiFileSearch, TextInCollapsedRegionsIsFoundAndReplacedInOneStep) {
    HVFileDocument* document = open(dir.write("style.css", "a {\nneedle\n}\nb {\nhay\n}\n"));
    ASSERT_NE(document, nullptr);
    HTMLView* view = document->highlightingView();
    ASSERT_NE(view, nullptr);
    // The fold markers come from the highlighting.
    ASSERT_TRUE(HVDispatcher::main().runUntil(
        [&] {
            return !view->hasPendingHighlighting() && !view->rulerView().hasPendingClassification();
        },
        10));
    view->collapseAllBlocks();
    ASSERT_EQ(view->string(), u"a {\uFFFC}\nb {\uFFFC}\n");
    fields(u"needle", u"pin");
    search.setMode(HVMultiFileSearchController::Mode::OpenFiles);
    ASSERT_TRUE(search.find());
    ASSERT_TRUE(waitForSearch());
    ASSERT_EQ(found(), (std::vector<std::string>{"style.css: 1"}));

    ASSERT_TRUE(search.replace());
    EXPECT_EQ(view->string(), u"a {\npin\n}\nb {\uFFFC}\n") << "only the region it touched opens";
    view->undoManager().undo();
    EXPECT_EQ(view->textStorage().fullString({0, view->textStorage().length()}),
              u"a {\nneedle\n}\nb {\nhay\n}\n");
}
